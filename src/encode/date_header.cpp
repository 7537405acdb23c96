#include "encode/date_header.h"

#include "platform/clock.h"

#include <cstdio>
#include <limits>

namespace lsmtp {
namespace {

// Index 1 to 12; 0 is never used.
constexpr const char *month_names[] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Index 0 to 6, 0 for Sunday.
constexpr const char *weekday_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

constexpr const char *unconvertible = "?";

// A year too large (or small) for a packed date counts as no date, rather
// than overflowing.
PackedDate pack_date(const std::tm &calendar)
{
    const std::int64_t packed =
        (std::int64_t{calendar.tm_year} + 1900) * 10000 + (calendar.tm_mon + 1) * 100 + calendar.tm_mday;
    if (packed < std::numeric_limits<PackedDate>::min() || packed > std::numeric_limits<PackedDate>::max())
        return 0;
    return static_cast<PackedDate>(packed);
}

PackedTime pack_time(const std::tm &calendar, int hundredths)
{
    return calendar.tm_hour * 1000000 + calendar.tm_min * 10000 + calendar.tm_sec * 100 + hundredths;
}

std::optional<std::tm> utc_or_local_calendar(Instant instant)
{
    if (auto calendar = calendar_from_instant(instant, CalendarMode::utc))
        return calendar;
    return calendar_from_instant(instant, CalendarMode::local);
}

std::string format_utc(PackedDate date, PackedTime time)
{
    const int weekday = weekday_of(date);
    const int month = date % 10000 / 100;
    if (weekday < 0 || weekday > 6 || month < 1 || month > 12)
        return unconvertible;
    char text[50];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", weekday_names[weekday],
                  static_cast<int>(date % 100), month_names[month], static_cast<int>(date / 10000),
                  static_cast<int>(time / 1000000), static_cast<int>(time % 1000000 / 10000),
                  static_cast<int>(time % 10000 / 100));
    return text;
}

} // namespace

std::string date_header_now()
{
    // Straight from the instant to UTC: a detour through local time would
    // be ambiguous in the hour repeated when daylight saving ends.
    const Instant now = platform::wall_clock_now().seconds;
    return format_utc(utc_packed_date(now), utc_packed_time(now));
}

PackedTime packed_time_now()
{
    const platform::WallClock now = platform::wall_clock_now();
    const auto calendar = calendar_from_instant(now.seconds, CalendarMode::local);
    return calendar ? pack_time(*calendar, now.milliseconds / 10) : 0;
}

PackedDate packed_date_now() { return local_packed_date(platform::wall_clock_now().seconds); }

std::string format_date_header(PackedDate local_date, PackedTime local_time)
{
    const PackedMoment utc = local_to_utc(local_date, local_time);
    return format_utc(utc.date, utc.time);
}

PackedMoment local_to_utc(PackedDate local_date, PackedTime local_time)
{
    const Instant instant = instant_from_local(local_date, local_time);
    return PackedMoment{utc_packed_date(instant), utc_packed_time(instant)};
}

Instant instant_from_local(PackedDate local_date, PackedTime local_time)
{
    std::tm calendar{};
    calendar.tm_year = local_date / 10000 - 1900;
    calendar.tm_mon = local_date % 10000 / 100 - 1;
    calendar.tm_mday = local_date % 100;
    calendar.tm_hour = local_time / 1000000;
    calendar.tm_min = local_time % 1000000 / 10000;
    calendar.tm_sec = local_time % 10000 / 100;
    calendar.tm_isdst = -1;
    return platform::instant_of_local_calendar(calendar).value_or(0);
}

PackedDate local_packed_date(Instant instant)
{
    if (instant == 0)
        return 0;
    const auto calendar = calendar_from_instant(instant, CalendarMode::local);
    return calendar ? pack_date(*calendar) : 0;
}

PackedDate utc_packed_date(Instant instant)
{
    if (instant == 0)
        return 0;
    const auto calendar = utc_or_local_calendar(instant);
    return calendar ? pack_date(*calendar) : 0;
}

PackedTime utc_packed_time(Instant instant)
{
    if (instant == 0)
        return 0;
    const auto calendar = utc_or_local_calendar(instant);
    return calendar ? pack_time(*calendar, 0) : 0;
}

std::optional<std::tm> calendar_from_instant(Instant instant, CalendarMode mode)
{
    return mode == CalendarMode::local ? platform::local_calendar(instant) : platform::utc_calendar(instant);
}

int weekday_of(PackedDate date)
{
    int year = date / 10000;
    int month = date % 10000 / 100;
    const int day = date % 100;
    // March counts as month 1, so that February's leap day ends the year.
    if (month <= 2) {
        month += 10;
        year -= 1;
    } else {
        month -= 2;
    }
    const int year_of_century = year % 100;
    const int century = year / 100;
    // 77 (11 * 7) keeps the sum non-negative through the year 4600.
    return (day + (13 * month - 1) / 5 + year_of_century + year_of_century / 4 + century / 4 - 2 * century + 77) % 7;
}

} // namespace lsmtp
