// The multipart boundary: one that no line of the body can be taken for.
#pragma once

#include "base/wire_text.h"
#include "text/text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// A line that starts with the fixed delimiter: the number (without leading
// zeros, at most 19 digits) that follows its "-", and how many digits it has
// (0 when no such number follows).
struct DelimiterLine {
    std::uint64_t number = 0;
    std::size_t digits = 0;
};

// Adds the delimiter lines of `body`, which starts at a line start (see
// choose_boundary_in for `Body`).
template <typename Body>
void collect_delimiter_lines(const Body &body, std::vector<DelimiterLine> &lines)
{
    const std::string_view fixed = wire::message_boundary;
    const std::size_t delimiter_size = 2 + fixed.size(); // "--" and the fixed boundary
    const auto delimiter = [fixed](std::size_t i) { return i < 2 ? '-' : fixed[i - 2]; };
    const auto line_end = [](char c) { return c == '\r' || c == '\n'; };

    // Only a "-" can start a delimiter line, so the scan jumps from "-" to
    // "-" and looks back one byte for a line's start. Bytes before `known`
    // were read and are no line end.
    std::size_t known = 0;
    for (std::size_t at = body.find('-', 0); at < body.size(); at = body.find('-', at)) {
        if (at != 0 && (at == known || !line_end(body[at - 1]))) {
            known = ++at;
            continue;
        }
        std::size_t matched = 1;
        while (matched < delimiter_size && at + matched < body.size() && body[at + matched] == delimiter(matched))
            ++matched;
        at += matched;
        known = at;
        if (matched < delimiter_size)
            continue;
        DelimiterLine line;
        if (at < body.size() && body[at] == '-') {
            known = ++at;
            for (; at < body.size() && line.digits < 19 && is_digit(body[at]); ++at, known = at) {
                if (line.digits == 0 && body[at] == '0')
                    break;
                line.number = line.number * 10 + static_cast<std::uint64_t>(body[at] - '0');
                ++line.digits;
            }
        }
        lines.push_back(line);
    }
}

// A boundary's text, held without an allocation: the fixed boundary, or it
// followed by "-" and a number.
class Boundary {
public:
    // Number 0 stands for the fixed boundary itself.
    explicit Boundary(std::uint64_t number = 0);
    std::string_view text() const { return {text_, size_}; }
    operator std::string_view() const { return text(); }
    friend bool operator==(const Boundary &boundary, std::string_view text) { return boundary.text() == text; }

private:
    char text_[wire::message_boundary.size() + 21]; // "-" and up to 20 digits
    std::size_t size_ = 0;
};

// The fixed boundary when no line starts with its delimiter; else the
// first "<fixed>-<n>" (n = 1, 2, ...) that no delimiter line rules out.
Boundary boundary_for(const std::vector<DelimiterLine> &lines);

// The fixed boundary, unless a line of the body as sent starts with "--"
// and it; then the first "<fixed>-<n>" (n = 1, 2, ...) that no line starts
// with after "--". A line that merely begins with a delimiter ends the part
// too (RFC 2046, section 5.1.1), so "--<fixed>-12" rules out "-1" as well as
// "-12". CR and LF both end a line. One pass over the body, whatever it
// holds: the text is the caller's and may be hostile.
//
// `Body` is anything that gives the body's bytes by index, its size() and
// find(char, from) as string_view does, so that a test can watch which bytes
// are read; the library passes a string_view (choose_boundary).
template <typename Body>
Boundary choose_boundary_in(const Body &body)
{
    std::vector<DelimiterLine> lines;
    collect_delimiter_lines(body, lines);
    return boundary_for(lines);
}

Boundary choose_boundary(std::string_view wire_body);

// The boundary for a body that goes quoted-printable, chosen over its
// encoded form, which is made a piece at a time and never whole.
Boundary choose_boundary_quoted(std::string_view text);

} // namespace lsmtp
