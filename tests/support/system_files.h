// Running test code against system files of the test's own (POSIX only):
// a resolv.conf naming a silent name server, a hosts file with names of
// several addresses.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lsmtp::test {

struct SystemFile {
    std::string path;  // the file to hide, such as /etc/hosts
    std::string text;  // what the work reads there instead
};

// Runs `work` on a thread whose private mount namespace has each file's
// text bind-mounted over its path, so that nothing outside that thread (and
// the threads it starts) sees the change; it shares the process's network
// namespace. Returns what `work` returned, or nothing when the namespace
// could not be set up.
std::optional<int> run_with_system_files(const std::vector<SystemFile> &files, const std::function<int()> &work);

} // namespace lsmtp::test
