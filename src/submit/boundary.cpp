#include "submit/boundary.h"

#include "encode/quoted_printable.h"

namespace lsmtp {

std::string boundary_for(const std::vector<DelimiterLine> &lines)
{
    const std::string_view fixed = wire::message_boundary;
    if (lines.empty())
        return std::string(fixed);
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
    return concat(fixed, "-", std::to_string(first_free));
}

std::string choose_boundary(std::string_view wire_body) { return choose_boundary_in(wire_body); }

std::string choose_boundary_quoted(std::string_view text)
{
    // Each piece ends where an encoded line ends, so each starts a line.
    constexpr std::size_t piece_size = 16 * 1024;
    std::vector<DelimiterLine> lines;
    std::string piece;
    for (std::size_t at = 0; at < text.size();) {
        piece.clear();
        at = encode_quoted_printable_piece(text, at, piece, piece_size);
        collect_delimiter_lines(std::string_view(piece), lines);
    }
    return boundary_for(lines);
}

} // namespace lsmtp
