// The parts of the clock layer that the C runtime offers alike everywhere.
#include "platform/clock.h"

#include <ctime>

namespace lsmtp::platform {

std::optional<std::int64_t> instant_of_local_calendar(std::tm calendar)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->local_instant)
        return seams->local_instant(calendar);
    // mktime returns -1 both for failure and for 1969-12-31 23:59:59 UTC;
    // a failure leaves tm_wday untouched, which tells the two apart.
    calendar.tm_wday = -1;
    const std::time_t instant = std::mktime(&calendar);
    if (instant == static_cast<std::time_t>(-1) && calendar.tm_wday == -1)
        return std::nullopt;
    return static_cast<std::int64_t>(instant);
}

} // namespace lsmtp::platform
