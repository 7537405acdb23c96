#include "console.h"

#include "platform/win32/wide_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <streambuf>

namespace console {
namespace {

// Bytes at the end of `text` that begin a UTF-8 sequence not yet complete;
// they wait for the rest rather than be written as two broken halves.
std::size_t incomplete_tail(const std::string &text)
{
    const std::size_t size = text.size();
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(text[size - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// Collects the tool's UTF-8 text and writes it on every sync: through
// WriteConsoleW to a console, which shows every character whatever the
// console's code page, and as UTF-8 bytes to a file or pipe.
class HandleBuffer final : public std::streambuf {
public:
    explicit HandleBuffer(DWORD which) : handle_(GetStdHandle(which))
    {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode) != 0;
    }
    ~HandleBuffer() override { write_pending(pending_.size()); }

    bool is_console() const { return console_; }

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return sync() == 0 ? traits_type::not_eof(ch) : traits_type::eof();
        pending_ += traits_type::to_char_type(ch);
        return pending_.size() >= flush_size && sync() != 0 ? traits_type::eof() : ch;
    }

    std::streamsize xsputn(const char *text, std::streamsize count) override
    {
        pending_.append(text, static_cast<std::size_t>(count));
        return pending_.size() >= flush_size && sync() != 0 ? 0 : count;
    }

    int sync() override { return write_pending(pending_.size() - incomplete_tail(pending_)) ? 0 : -1; }

private:
    bool write_pending(std::size_t ready)
    {
        if (ready == 0)
            return true;
        const bool written = console_ ? write_console(std::string_view(pending_).substr(0, ready))
                                      : write_bytes(pending_.data(), ready);
        pending_.erase(0, ready);
        return written;
    }

    static constexpr std::size_t flush_size = 4096;

    bool write_console(std::string_view text)
    {
        // Without MB_ERR_INVALID_CHARS a byte that is not UTF-8 (a path
        // named in another encoding) shows as U+FFFD, the rest as it is.
        const int length = static_cast<int>(text.size());
        std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)),
                          L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), static_cast<int>(wide.size()));
        for (std::size_t done = 0; done < wide.size();) {
            DWORD count = 0;
            if (!WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(wide.size() - done), &count, nullptr))
                return false;
            done += count;
        }
        return true;
    }

    bool write_bytes(const char *bytes, std::size_t size)
    {
        for (std::size_t done = 0; done < size;) {
            DWORD count = 0;
            if (!WriteFile(handle_, bytes + done, static_cast<DWORD>(size - done), &count, nullptr) || count == 0)
                return false;
            done += count;
        }
        return true;
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

} // namespace

std::vector<std::string> utf8_arguments(int argc, wchar_t **argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(lsmtp::platform::win32::to_utf8(argv[i]));
    return arguments;
}

std::filesystem::path path_from_utf8(const std::string &text)
{
    if (auto wide = lsmtp::platform::win32::to_utf16(text, CP_UTF8))
        return std::filesystem::path(std::move(*wide));
    return std::filesystem::path(lsmtp::platform::win32::to_utf16(text, CP_ACP).value_or(L""));
}

struct StandardStreams::Buffers {
    HandleBuffer out_buffer{STD_OUTPUT_HANDLE};
    HandleBuffer err_buffer{STD_ERROR_HANDLE};
    std::ostream out{&out_buffer};
    std::ostream err{&err_buffer};
};

StandardStreams::StandardStreams() : buffers_(std::make_unique<Buffers>())
{
    buffers_->err.setf(std::ios::unitbuf);
    err_is_terminal_ = buffers_->err_buffer.is_console();
}

StandardStreams::~StandardStreams()
{
    buffers_->out.flush();
    buffers_->err.flush();
}

std::ostream &StandardStreams::out() { return buffers_->out; }
std::ostream &StandardStreams::err() { return buffers_->err; }

std::istream &binary_standard_input()
{
    _setmode(_fileno(stdin), _O_BINARY);
    return std::cin;
}

std::string last_error_text() { return std::strerror(errno); }

} // namespace console
