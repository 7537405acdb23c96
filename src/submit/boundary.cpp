#include "submit/boundary.h"

#include "encode/quoted_printable.h"

#include <charconv>
#include <iterator>

namespace lsmtp {

Boundary::Boundary(std::uint64_t number)
{
    const std::string_view fixed = wire::message_boundary;
    char *end = std::copy(fixed.begin(), fixed.end(), text_);
    if (number != 0) {
        *end++ = '-';
        end = std::to_chars(end, std::end(text_), number).ptr;
    }
    size_ = static_cast<std::size_t>(end - text_);
}

Boundary boundary_for(const std::vector<DelimiterLine> &lines)
{
    if (lines.empty())
        return Boundary();
    // Each line rules out at most one candidate of each length in digits:
    // among the numbers of `digits` digits, once there are more of them
    // than lines, one is free, so no larger number needs looking at.
    std::size_t digits = 1;
    std::size_t limit = 9;
    while ((limit + 1) / 10 * 9 <= lines.size()) {
        ++digits;
        limit = limit * 10 + 9;
    }
    std::vector<bool> taken(limit + 1);
    for (const DelimiterLine &line : lines) {
        // A line that begins with a delimiter ends the part too: each prefix
        // of the number is ruled out.
        std::uint64_t number = line.number;
        for (std::size_t extra = line.digits; extra > digits; --extra)
            number /= 10;
        for (; number != 0; number /= 10)
            taken[number] = true;
    }
    const auto first_free = std::find(taken.begin() + 1, taken.end(), false) - taken.begin();
    return Boundary(static_cast<std::uint64_t>(first_free));
}

Boundary choose_boundary(std::string_view wire_body) { return choose_boundary_in(wire_body); }

Boundary choose_boundary_quoted(std::string_view text)
{
    // Each piece starts a line.
    std::vector<DelimiterLine> lines;
    for_each_quoted_piece(text, [&lines](std::string_view piece) {
        collect_delimiter_lines(piece, lines);
        return true;
    });
    return boundary_for(lines);
}

} // namespace lsmtp
