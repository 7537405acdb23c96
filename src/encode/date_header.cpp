#include "encode/date_header.h"

#include "platform/clock.h"

#include <cstdio>

namespace lsmtp {
namespace {

constexpr const char *month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Index 0 to 6, 0 for Sunday.
constexpr const char *weekday_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

} // namespace

std::string date_header_now() { return date_header_text(platform::wall_clock_now().seconds); }

std::string date_header_text(std::int64_t instant)
{
    // Straight from the instant to UTC: a detour through local time would
    // be ambiguous in the hour repeated when daylight saving ends.
    const std::optional<std::tm> utc = instant == 0 ? std::nullopt : platform::utc_calendar(instant);
    if (!utc || utc->tm_wday < 0 || utc->tm_wday > 6 || utc->tm_mon < 0 || utc->tm_mon > 11)
        return "?";
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d GMT", weekday_names[utc->tm_wday],
                  utc->tm_mday, month_names[utc->tm_mon], static_cast<long long>(utc->tm_year) + 1900, utc->tm_hour,
                  utc->tm_min, utc->tm_sec);
    return text;
}

} // namespace lsmtp
