// The text of the Date header: the moment of sending in UTC, written as
// "Sat, 03 Jul 2004 12:34:56 GMT" (29 characters for the years 0 to 9999,
// more after), or "?".
#pragma once

#include <cstdint>
#include <string>

namespace lsmtp {

// Appends the Date text for the current moment, from one reading of the
// clock, to `out`.
void append_date_now(std::string &out);

// Appends the Date text of an instant, seconds since 1970-01-01 00:00:00
// UTC, to `out`: reentrant, exact for any 64-bit instant of the year 0 on,
// the same on every platform. The instant 0 stands for a clock that gave
// nothing and is "?", like an instant before the year 0.
void append_date_text(std::string &out, std::int64_t instant);

} // namespace lsmtp
