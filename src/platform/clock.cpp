// The clock's front: the test seams first, then the system's clock.
#include "platform/clock.h"

#include "platform/backend.h"
#include "platform/seams.h"

namespace lsmtp::platform {

WallClock wall_clock_now()
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->clock)
        return seams->clock();
    return backend::wall_clock_now();
}

void pause_milliseconds(int milliseconds)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->pause) {
        seams->pause(milliseconds);
        return;
    }
    backend::pause_milliseconds(milliseconds);
}

} // namespace lsmtp::platform
