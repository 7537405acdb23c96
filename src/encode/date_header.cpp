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
char *put_digits(char *at, std::int64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        at[i] = static_cast<char>('0' + value % 10);
    return at + width;
}

} // namespace

void append_date_now(std::string &out) { append_date_text(out, platform::wall_clock_now().seconds); }

void append_date_text(std::string &out, std::int64_t instant)
{
    // Straight from the instant to the UTC calendar, by arithmetic alone: no
    // detour through local time (ambiguous in the hour repeated when daylight
    // saving ends), no platform limit on the years. Days since 1970-01-01 to
    // the proleptic Gregorian calendar, counting in 400-year eras from 0000-03-01.
    const std::int64_t seconds_per_day = 86400;
    std::int64_t days = instant / seconds_per_day;
    std::int64_t second_of_day = instant % seconds_per_day;
    if (second_of_day < 0) {
        second_of_day += seconds_per_day;
        --days;
    }
    const std::int64_t shifted = days + 719468; // days from 0000-03-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t day_of_era = shifted - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
    const std::int64_t day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
    const std::int64_t month = month_from_march < 10 ? month_from_march + 2 : month_from_march - 10; // 0 = Jan
    const std::int64_t year = year_of_era + era * 400 + (month < 2 ? 1 : 0);
    const std::int64_t weekday = ((days % 7) + 11) % 7; // 1970-01-01 was a Thursday (4)
    // The instant 0 is a clock that gave nothing; a year before 0 has no
    // text in RFC 5322.
    if (instant == 0 || year < 0) {
        out += '?';
        return;
    }
    // "Sat, 03 Jul 2004 12:34:56 GMT"; a year after 9999 takes more digits.
    char text[48];
    char *at = std::copy_n(weekday_names[weekday].data(), 3, text);
    at = std::copy_n(", ", 2, at);
    at = put_digits(at, day, 2);
    *at++ = ' ';
    at = std::copy_n(month_names[month].data(), 3, at);
    *at++ = ' ';
    at = year <= 9999 ? put_digits(at, year, 4) : std::to_chars(at, text + sizeof text, year).ptr;
    *at++ = ' ';
    at = put_digits(at, second_of_day / 3600, 2);
    *at++ = ':';
    at = put_digits(at, second_of_day / 60 % 60, 2);
    *at++ = ':';
    at = put_digits(at, second_of_day % 60, 2);
    at = std::copy_n(" GMT", 4, at);
    out.append(text, static_cast<std::size_t>(at - text));
}

} // namespace lsmtp
