// The text of the Date header: the moment of sending in UTC, written as
// "Sat, 03 Jul 2004 12:34:56 GMT" (always 29 characters for the years 1000
// to 9999), or "?" when the moment cannot be converted.
#pragma once

#include <cstdint>
#include <string>

namespace lsmtp {

// The Date text for the current moment, from one reading of the clock.
std::string date_header_now();

// The Date text of an instant, seconds since 1970-01-01 00:00:00 UTC,
// converted straight to the UTC calendar (reentrant and 64-bit, so exact
// past 2038 and 2106). The instant 0 stands for a clock that gave nothing
// and is "?", like an instant the platform cannot convert.
std::string date_header_text(std::int64_t instant);

} // namespace lsmtp
