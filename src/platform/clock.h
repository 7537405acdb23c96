// The wall clock and the short pause, as the platform offers them.
#pragma once

#include <cstdint>

namespace lsmtp::platform {

// One reading of the wall clock: seconds since 1970-01-01 UTC and the
// milliseconds within that second.
struct WallClock {
    std::int64_t seconds = 0;
    int milliseconds = 0;
};

// The current moment (or the test seam's).
WallClock wall_clock_now();

// Gives up the processor for the given milliseconds (or calls the seam):
// with a precise timer where there is one; on Windows older than 10 1803
// the coarse sleep, which lasts at least one scheduler tick (about 15.6 ms
// by default).
void pause_milliseconds(int milliseconds);

} // namespace lsmtp::platform
