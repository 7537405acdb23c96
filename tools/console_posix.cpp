#include "console.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace console {

std::vector<std::string> utf8_arguments(int argc, char **argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::filesystem::path path_from_utf8(const std::string &text) { return std::filesystem::path(text); }

struct StandardStreams::Buffers {};

StandardStreams::StandardStreams()
{
    // A descriptor 0, 1 or 2 left closed by the caller would be handed to
    // the next file or socket opened, and the tool's text would go there.
    // Hold each with /dev/null; a closed standard output still counts as
    // output that cannot be written.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (held != fd && held != -1)
            close(held);
        if (fd == STDOUT_FILENO)
            std::cout.setstate(std::ios::badbit);
    }
    err_is_terminal_ = isatty(STDERR_FILENO) != 0;
}

StandardStreams::~StandardStreams() = default;

std::ostream &StandardStreams::out() { return std::cout; }
std::ostream &StandardStreams::err() { return std::cerr; }

std::istream &binary_standard_input() { return std::cin; }

std::string last_error_text() { return std::strerror(errno); }

} // namespace console
