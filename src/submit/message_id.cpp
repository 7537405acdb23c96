#include "submit/message_id.h"

#include "platform/clock.h"
#include "platform/random.h"
#include "text/text.h"

#include <atomic>
#include <iterator>

namespace lsmtp {
namespace {

// For a sender without a usable domain; "localhost" is what hosts without a
// name of their own use too.
constexpr std::string_view fallback_domain = "localhost";

// Writes the digits before `end`; returns where they start. 36^13 > 2^64:
// thirteen digits hold any value.
char *base36_before(char *end, std::uint64_t value)
{
    do {
        *--end = "0123456789abcdefghijklmnopqrstuvwxyz"[value % 36];
        value /= 36;
    } while (value != 0);
    return end;
}

// Letters, digits, hyphens and inner dots only: a domain that needs no
// quoting and no encoding.
bool plain_domain(std::string_view domain)
{
    if (domain.empty() || domain.front() == '.' || domain.back() == '.' || domain.find("..") != domain.npos)
        return false;
    for (const char c : domain) {
        const bool letter_or_digit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letter_or_digit && c != '-' && c != '.')
            return false;
    }
    return true;
}

std::string_view domain_of(std::string_view address)
{
    const std::size_t at = address.rfind('@');
    const std::string_view domain = at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
    return plain_domain(domain) ? domain : fallback_domain;
}

} // namespace

void append_message_id(std::string &out, std::string_view sender, const UniqueParts &unique)
{
    const std::uint64_t milliseconds =
        static_cast<std::uint64_t>(unique.now.seconds) * 1000 + static_cast<std::uint64_t>(unique.now.milliseconds);
    // Written backwards into one buffer, appended at once.
    char text[1 + 4 * 14];
    char *start = base36_before(std::end(text), unique.random);
    for (const std::uint64_t part : {unique.count, std::uint64_t{unique.process}, milliseconds}) {
        *--start = '.';
        start = base36_before(start, part);
    }
    *--start = '<';
    out.append(start, std::end(text));
    concat_append(out, "@", domain_of(sender), ">");
}

UniqueParts next_unique_parts()
{
    // The one piece of state shared by all calls: two calls in the same
    // millisecond of one process still differ in their count.
    static std::atomic<std::uint64_t> made{0};
    UniqueParts unique;
    unique.now = platform::wall_clock_now();
    unique.count = ++made;
    const platform::ProcessMark mark = platform::process_mark();
    unique.process = mark.process;
    unique.random = mark.random;
    return unique;
}

} // namespace lsmtp
