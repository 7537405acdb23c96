#ifndef _WIN32
#include "system_files.h"
#include "portable.h"

#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lsmtp::test {
namespace {

// Steps of the child, which may do nothing but report after fork.
[[noreturn]] void child(const std::vector<SystemFile> &files, const std::vector<std::string> &copies,
                        const std::function<int()> &work, int report)
{
    // Private first: a bind mount must never travel back to the parent's
    // namespace (and, for root, to the host's).
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        _exit(1);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (mount(copies[i].c_str(), files[i].path.c_str(), nullptr, MS_BIND, nullptr) != 0)
            _exit(1);
    }
    const int result = work();
    _exit(write(report, &result, sizeof result) == sizeof result ? 0 : 1);
}

} // namespace

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
    std::optional<int> result;
    int channel[2];
    if (pipe(channel) == 0) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(channel[0]);
            child(files, copies, work, channel[1]);
        }
        close(channel[1]);
        int reported = 0;
        if (pid > 0 && read(channel[0], &reported, sizeof reported) == sizeof reported)
            result = reported;
        close(channel[0]);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(folder);
    return result;
}

} // namespace lsmtp::test
#endif
