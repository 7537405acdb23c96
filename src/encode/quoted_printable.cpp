#include "encode/quoted_printable.h"

#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace lsmtp {
namespace {

constexpr std::size_t max_encoded_line = 76;
// Calls `line` for every line of the text, without its line end; the last
// line is reported even when empty only if the text does not end there.
template <typename LineFn>
void for_each_line(std::string_view text, LineFn line)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = find_line_break(text, start);
        if (end == std::string_view::npos) {
            line(text.substr(start), false);
            return;
        }
        line(text.substr(start, end - start), true);
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

std::size_t last_line_feed(std::string_view text)
{
#if defined(__GLIBC__)
    const void *found = memrchr(text.data(), '\n', text.size());
    return found == nullptr ? std::string_view::npos : static_cast<std::size_t>(static_cast<const char *>(found) - text.data());
#else
    return text.rfind('\n');
#endif
}

bool is_literal(unsigned char c) { return (c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t'; }

} // namespace

bool has_overlong_line(std::string_view text)
{
    // Text whose LFs are never more than a line apart has no line too long,
    // whatever its CRs; only a longer stretch is looked at line by line. The
    // last LF within a line's length of the start passes every line before
    // it: one search for many short lines.
    for (std::size_t start = 0; text.size() - start > max_text_line;) {
        const std::size_t line_feed = last_line_feed(text.substr(start, max_text_line + 1));
        if (line_feed != std::string_view::npos) {
            start += line_feed + 1;
            continue;
        }
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        bool overlong = false;
        for_each_line(text.substr(start, end - start),
                      [&](std::string_view line, bool) { overlong = overlong || line.size() > max_text_line; });
        if (overlong)
            return true;
        start = std::min(end + 1, text.size());
    }
    return false;
}

std::string encode_quoted_printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    encode_quoted_printable_piece(text, 0, out, std::string::npos);
    return out;
}

std::size_t encode_quoted_printable_piece(std::string_view text, std::size_t from, std::string &out,
                                          std::size_t budget)
{
    // A piece starts where a line starts, after a hard or a soft break.
    std::size_t column = 0;
    for (std::size_t i = from; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            column = 0;
            i += c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
            if (out.size() >= budget)
                return i;
            continue;
        }
        const bool last = i + 1 == text.size() || text[i + 1] == '\r' || text[i + 1] == '\n';
        // White space at the end of a line would be lost in transport.
        const bool literal = is_literal(c) && !(last && (c == ' ' || c == '\t'));
        const std::size_t width = literal ? 1 : 3;
        // Leave room for the "=" of a soft break unless this ends the line.
        if (column + width > (last ? max_encoded_line : max_encoded_line - 1)) {
            out += "=\r\n";
            column = 0;
            if (out.size() >= budget)
                return i;
        }
        if (literal)
            out += static_cast<char>(c);
        else
            append_hex_escape(out, '=', c);
        column += width;
        ++i;
    }
    return text.size();
}

} // namespace lsmtp
