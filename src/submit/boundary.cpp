#include "submit/boundary.h"

#include "base/wire_text.h"
#include "text/text.h"

#include <algorithm>
#include <vector>

namespace lsmtp {
namespace {

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

} // namespace

BoundaryChoice choose_boundary_counted(std::string_view body)
{
    const std::string_view fixed = wire::message_boundary;
    const std::string delimiter = concat("--", fixed);
    BoundaryChoice choice;

    // Where each line that starts with the fixed delimiter goes on after it.
    std::vector<std::size_t> continuations;
    for (std::size_t at = 0; at < body.size();) {
        std::size_t matched = 0;
        while (matched < delimiter.size() && at + matched < body.size() && body[at + matched] == delimiter[matched])
            ++matched;
        at += matched;
        choice.bytes_examined += matched;
        if (matched == delimiter.size())
            continuations.push_back(at);
        // The byte that ended the match may end the line: look again from it.
        while (at < body.size() && !is_line_end(body[at])) {
            ++at;
            ++choice.bytes_examined;
        }
        if (at < body.size()) {
            ++at;
            ++choice.bytes_examined;
        }
    }
    if (continuations.empty()) {
        choice.boundary = fixed;
        return choice;
    }

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
        ++choice.bytes_examined;
        if (at >= body.size() || body[at] != '-')
            continue;
        std::size_t number = 0;
        for (std::size_t i = at + 1; i < body.size() && i <= at + digits; ++i) {
            ++choice.bytes_examined;
            if (!is_digit(body[i]) || (number == 0 && body[i] == '0'))
                break;
            number = number * 10 + static_cast<std::size_t>(body[i] - '0');
            taken[number] = true;
        }
    }
    const auto first_free = std::find(taken.begin() + 1, taken.end(), false) - taken.begin();
    choice.boundary = concat(fixed, "-", std::to_string(first_free));
    return choice;
}

} // namespace lsmtp
