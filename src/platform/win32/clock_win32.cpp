#include "platform/clock.h"

#include <windows.h>

#include <time.h>

namespace lsmtp::platform {
namespace {

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr std::int64_t filetime_steps_per_second = 10000000;
constexpr std::int64_t seconds_from_1601_to_1970 = 11644473600;

} // namespace

WallClock wall_clock_now()
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->clock)
        return seams->clock();
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t steps =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    const std::int64_t seconds = steps / filetime_steps_per_second - seconds_from_1601_to_1970;
    const int milliseconds = static_cast<int>(steps % filetime_steps_per_second / 10000);
    return WallClock{seconds, milliseconds};
}

std::optional<std::tm> local_calendar(std::int64_t seconds)
{
    const time_t instant = static_cast<time_t>(seconds);
    std::tm calendar{};
    if (localtime_s(&calendar, &instant) != 0)
        return std::nullopt;
    return calendar;
}

std::optional<std::tm> utc_calendar(std::int64_t seconds)
{
    const time_t instant = static_cast<time_t>(seconds);
    std::tm calendar{};
    if (gmtime_s(&calendar, &instant) != 0)
        return std::nullopt;
    return calendar;
}

void pause_milliseconds(int milliseconds)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->pause) {
        seams->pause(milliseconds);
        return;
    }
    Sleep(static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds));
}

} // namespace lsmtp::platform
