// The multipart boundary: one that no line of the body can be taken for.
#pragma once

#include "base/wire_text.h"
#include "text/text.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

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
std::string choose_boundary_in(const Body &body)
{
    const std::string_view fixed = wire::message_boundary;
    const std::size_t delimiter_size = 2 + fixed.size(); // "--" and the fixed boundary
    const auto delimiter = [fixed](std::size_t i) { return i < 2 ? '-' : fixed[i - 2]; };
    const auto line_end = [](char c) { return c == '\r' || c == '\n'; };

    // Where each line that starts with the fixed delimiter goes on after it.
    // Only a "-" can start one, so the scan jumps from "-" to "-" and looks
    // back one byte for a line's start. Bytes before `known` were read and
    // are no line end.
    std::vector<std::size_t> continuations;
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
        if (matched == delimiter_size)
            continuations.push_back(at);
    }
    if (continuations.empty())
        return std::string(fixed);

    // Each line rules out at most one candidate of each length in digits:
    // among the numbers of `digits` digits, once there are more of them
    // than lines, one is free, so no larger number needs looking at.
    std::size_t digits = 1;
    std::size_t limit = 9;
    while ((limit + 1) / 10 * 9 <= continuations.size()) {
        ++digits;
        limit = limit * 10 + 9;
    }
    std::vector<bool> taken(limit + 1);
    for (std::size_t at : continuations) {
        // "-" and a number without leading zeros: the line rules out each
        // prefix of the number.
        if (at >= body.size() || body[at] != '-')
            continue;
        std::size_t number = 0;
        for (std::size_t i = at + 1; i < body.size() && i <= at + digits; ++i) {
            const char c = body[i];
            if (!is_digit(c) || (number == 0 && c == '0'))
                break;
            number = number * 10 + static_cast<std::size_t>(c - '0');
            taken[number] = true;
        }
    }
    const auto first_free = std::find(taken.begin() + 1, taken.end(), false) - taken.begin();
    return concat(fixed, "-", std::to_string(first_free));
}

std::string choose_boundary(std::string_view wire_body);

} // namespace lsmtp
