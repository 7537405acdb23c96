#include "platform/backend.h"

#include <cerrno>
#include <time.h>

namespace lsmtp::platform {

WallClock backend::wall_clock_now()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return WallClock{static_cast<std::int64_t>(now.tv_sec), static_cast<int>(now.tv_nsec / 1000000)};
}

void backend::pause_milliseconds(int milliseconds)
{
    timespec wait{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

} // namespace lsmtp::platform
