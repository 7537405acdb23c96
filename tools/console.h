// What lsmtp-send needs from the operating system, apart from the library:
// its arguments and file paths as UTF-8, standard streams that read right
// on a Windows console, and whether standard error is a terminal. The only
// code of the tool that calls the system (console_posix.cpp,
// console_win32.cpp).
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace console {

#if defined(_WIN32)
using NativeChar = wchar_t; // wmain's arguments, UTF-16
#else
using NativeChar = char; // main's arguments, bytes as given
#endif

// The arguments after the program's name, as the tool reads them: UTF-8 on
// Windows (unpaired surrogates become U+FFFD), the bytes as given elsewhere.
std::vector<std::string> utf8_arguments(int argc, NativeChar **argv);

// A path named in UTF-8, for the file calls. On Windows it is converted to
// UTF-16 so that any character works; text that is not UTF-8 is taken in
// the ANSI code page, as a narrow path there is. Elsewhere the bytes as
// they are.
std::filesystem::path path_from_utf8(const std::string &text);

// Standard output and standard error for the tool's text, which is UTF-8.
// On a Windows console it is written as UTF-16 (WriteConsoleW); redirected
// to a file or pipe, and everywhere else, as UTF-8 bytes. A write that
// fails leaves the stream bad, so that the caller can tell.
class StandardStreams {
public:
    StandardStreams();
    ~StandardStreams();
    StandardStreams(const StandardStreams &) = delete;
    StandardStreams &operator=(const StandardStreams &) = delete;

    std::ostream &out();
    std::ostream &err();
    bool err_is_terminal() const { return err_is_terminal_; }

private:
    struct Buffers;
    std::unique_ptr<Buffers> buffers_;
    bool err_is_terminal_ = false;
};

// Standard input as bytes, with no line-end translation.
std::istream &binary_standard_input();

// The text of the system's last error, from errno.
std::string last_error_text();

} // namespace console
