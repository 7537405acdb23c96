#include "encode/date_header.h"

#include "platform/clock.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace lsmtp {
namespace {

constexpr std::string_view month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Index 0 to 6, 0 for Sunday.
constexpr std::string_view weekday_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Writes `value` as `width` decimal digits, zeros in front, and returns
// the end.
char *put_digits(char *at, long long value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = static_cast<char>('0' + value % 10);
    return at + width;
}

} // namespace

void append_date_now(std::string &out) { append_date_text(out, platform::wall_clock_now().seconds); }

void append_date_text(std::string &out, std::int64_t instant)
{
    // Straight from the instant to UTC: a detour through local time would
    // be ambiguous in the hour repeated when daylight saving ends.
    const std::optional<std::tm> utc = instant == 0 ? std::nullopt : platform::utc_calendar(instant);
    const long long year = utc ? static_cast<long long>(utc->tm_year) + 1900 : 0;
    if (!utc || utc->tm_wday < 0 || utc->tm_wday > 6 || utc->tm_mon < 0 || utc->tm_mon > 11 || year < 0) {
        out += '?';
        return;
    }
    // "Sat, 03 Jul 2004 12:34:56 GMT"; a year before 0 has no text in RFC
    // 5322, one after 9999 takes more digits.
    char text[48];
    char *at = std::copy_n(weekday_names[utc->tm_wday].data(), 3, text);
    at = std::copy_n(", ", 2, at);
    at = put_digits(at, utc->tm_mday, 2);
    *at++ = ' ';
    at = std::copy_n(month_names[utc->tm_mon].data(), 3, at);
    *at++ = ' ';
    at = year <= 9999 ? put_digits(at, year, 4) : std::to_chars(at, text + sizeof text, year).ptr;
    *at++ = ' ';
    at = put_digits(at, utc->tm_hour, 2);
    *at++ = ':';
    at = put_digits(at, utc->tm_min, 2);
    *at++ = ':';
    at = put_digits(at, utc->tm_sec, 2);
    at = std::copy_n(" GMT", 4, at);
    out.append(text, static_cast<std::size_t>(at - text));
}

} // namespace lsmtp
