// The wall clock and the short pause, as the platform offers them.
#pragma once

#include "platform/seams.h"

#include <cstdint>
#include <ctime>
#include <optional>

namespace lsmtp::platform {

// The current moment (or the test seam's).
WallClock wall_clock_now();

// Broken-down time of an instant in the local zone or in UTC, reentrant.
// Empty when the platform cannot convert the instant.
std::optional<std::tm> local_calendar(std::int64_t seconds);
std::optional<std::tm> utc_calendar(std::int64_t seconds);

// Instant of a local calendar record (tm_isdst decides daylight saving as
// mktime does); empty when the moment cannot be represented. The test seam
// may stand in for the conversion.
std::optional<std::int64_t> instant_of_local_calendar(std::tm calendar);

enum class PauseTimer { precise, coarse };

// Gives up the processor for the given milliseconds (or calls the seam),
// and tells which timer made the pause: a precise one, or the platform's
// coarse sleep, which on Windows lasts at least one scheduler tick (about
// 15.6 ms by default) and is the fall-back on systems older than Windows 10
// 1803. A seam's pause counts as precise.
PauseTimer pause_milliseconds(int milliseconds);

} // namespace lsmtp::platform
