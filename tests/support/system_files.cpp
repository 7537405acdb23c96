#ifndef _WIN32
#include "system_files.h"
#include "portable.h"

#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <thread>

namespace lsmtp::test {

std::optional<int> run_with_system_files(const std::vector<SystemFile> &files, const std::function<int()> &work)
{
    const std::filesystem::path folder = make_scratch_folder("lsmtp-system-files-");
    if (folder.empty())
        return std::nullopt;
    std::vector<std::string> copies;
    for (const SystemFile &file : files) {
        copies.push_back((folder / std::to_string(copies.size())).string());
        std::ofstream(copies.back()) << file.text;
    }
    // A thread, not a child process: a fork while the test server's threads
    // run can leave the child stuck on a lock one of them held. A mount
    // namespace may be one thread's alone, and the threads it starts inherit it.
    std::optional<int> result;
    std::thread([&] {
        // Private first: a bind mount must never travel back to the
        // process's namespace (and, for root, to the host's).
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (mount(copies[i].c_str(), files[i].path.c_str(), nullptr, MS_BIND, nullptr) != 0)
                return;
        }
        result = work();
    }).join();
    std::filesystem::remove_all(folder);
    return result;
}

} // namespace lsmtp::test
#endif
