#include "transport/reply.h"

#include "text/text.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstring>

namespace lsmtp {
namespace {

// Whether the start of a line of `length` bytes (possibly not all of it yet)
// can begin a reply line with the code at `code`: "ddd" then "-", " ", CR or
// LF.
bool line_start_valid(const char *line, std::size_t length, const char *code)
{
    const std::size_t digits = std::min<std::size_t>(length, 3);
    for (std::size_t i = 0; i < digits; ++i) {
        if (!is_digit(line[i]) || line[i] != code[i])
            return false;
    }
    if (length > 0 && (line[0] < '1' || line[0] > '5'))
        return false;
    return length < 4 || line[3] == '-' || line[3] == ' ' || line[3] == '\r' || line[3] == '\n';
}

} // namespace

std::string reply_text(std::string_view reply)
{
    std::string text;
    while (!reply.empty() && is_white_space(reply.front()))
        reply.remove_prefix(1);
    while (!reply.empty()) {
        std::size_t end = reply.find('\n');
        std::string_view line = reply.substr(0, end);
        reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!text.empty())
            text += '\n';
        for_each_readable(line, [&text](std::string_view piece) { text += piece; });
        if (text.size() > max_reply_text)
            break;
    }
    if (text.size() > max_reply_text) {
        // Cut between characters, never inside a sequence or an escape.
        std::size_t keep = utf8_cut(text, max_reply_text - 3);
        const std::size_t escape = text.rfind("\\x", keep);
        if (escape != std::string::npos && keep < escape + 4)
            keep = escape;
        text.resize(keep);
        text += "...";
    }
    return text;
}

ReplyScan scan_reply(std::string_view received)
{
    constexpr ReplyScan malformed{ReplyScan::Status::malformed, 0, 0};
    constexpr ReplyScan need_more{ReplyScan::Status::need_more, 0, 0};
    std::size_t position = 0;
    while (position < received.size() && is_white_space(received[position]))
        ++position;
    // Blank lines before a reply count against the line limit too, or a
    // server sending nothing but line ends would grow the buffer without end.
    if (position > max_reply_line)
        return malformed;

    // RFC 5321 section 4.2.1: every line of a reply carries the same code.
    // A "554-" line followed by "250 " is no acceptance, whatever its last
    // line says.
    const char *const data = received.data();
    const char *const first_code = data + position;
    for (std::size_t lines = 1;; ++lines) {
        const char *const line = data + position;
        const std::size_t rest = received.size() - position;
        const auto *line_feed = static_cast<const char *>(std::memchr(line, '\n', rest));
        const std::size_t length = line_feed == nullptr ? rest : static_cast<std::size_t>(line_feed - line);
        if (!line_start_valid(line, length, first_code) || length > max_reply_line || lines > max_reply_lines)
            return malformed;
        if (line_feed == nullptr)
            return need_more;
        if (length < 3)
            return malformed;
        position += length + 1;
        // "-" after the code: more lines of this reply follow.
        if (length == 3 || line[3] != '-') {
            const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
            return ReplyScan{ReplyScan::Status::complete, code, position};
        }
    }
}

} // namespace lsmtp
