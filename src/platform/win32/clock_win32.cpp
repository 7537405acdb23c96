#include "platform/backend.h"

#include <windows.h>

#include <time.h>

namespace lsmtp::platform {
namespace {

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr std::int64_t filetime_steps_per_second = 10000000;
constexpr std::int64_t seconds_from_1601_to_1970 = 11644473600;

// Windows 10 1803 and later; older systems refuse the flag. Missing from
// older SDK headers.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// A wait on a high-resolution timer, which ends when asked instead of at the
// next scheduler tick. False when the system offers no such timer.
bool wait_on_precise_timer(int milliseconds)
{
    const HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer == nullptr)
        return false;
    LARGE_INTEGER due{};
    due.QuadPart = -10000LL * milliseconds; // relative, in 100-nanosecond steps
    const bool waited = SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
                        WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
    CloseHandle(timer);
    return waited;
}

} // namespace

WallClock backend::wall_clock_now()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::int64_t steps =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
    const std::int64_t seconds = steps / filetime_steps_per_second - seconds_from_1601_to_1970;
    const int milliseconds = static_cast<int>(steps % filetime_steps_per_second / 10000);
    return WallClock{seconds, milliseconds};
}

// Never timeBeginPeriod: it speeds up the tick for the whole process (the
// whole machine on older systems) for as long as it is set.
void backend::pause_milliseconds(int milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    if (!wait_on_precise_timer(milliseconds))
        Sleep(static_cast<DWORD>(milliseconds));
}

} // namespace lsmtp::platform
