// The text of the Date header: the moment of sending in UTC, written as
// "Sat, 03 Jul 2004 12:34:56 GMT" (always 29 characters), or "?" when the
// moment cannot be converted.
//
// Dates and times travel as packed integers. Every function here is
// reentrant: the text is returned by value and calendar conversions use the
// platform's reentrant, 64-bit forms, so dates after 2038 and 2100 are exact.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace lsmtp {

// year * 10000 + month * 100 + day (20040703 for 3 July 2004); 0 is no date.
using PackedDate = std::int32_t;
// hour * 1000000 + minute * 10000 + second * 100 + hundredths
// (12345678 for 12:34:56.78). The hundredths are never read back.
using PackedTime = std::int32_t;
// Seconds since 1970-01-01 00:00:00 UTC; 0 stands for no instant.
using Instant = std::int64_t;

struct PackedMoment {
    PackedDate date = 0;
    PackedTime time = 0;
};

enum class CalendarMode { local, utc };

// The Date text for the current moment, from one reading of the clock, so
// that the date and the time of day always belong to the same moment.
std::string date_header_now();

// Local time of day now, with hundredths (999 ms give 99).
PackedTime packed_time_now();
// Today in the local calendar.
PackedDate packed_date_now();

// The Date text of a local date and time, converted to UTC; "?" when the
// local moment cannot be converted, when it is the instant 0, or when the
// UTC date has no weekday or month name.
std::string format_date_header(PackedDate local_date, PackedTime local_time);

// The UTC date and time of a local date and time; 0 and 0 when the local
// moment cannot be converted.
PackedMoment local_to_utc(PackedDate local_date, PackedTime local_time);

// The instant of a local date and time (hundredths dropped; the platform
// decides whether daylight saving is in force); 0 on failure.
Instant instant_from_local(PackedDate local_date, PackedTime local_time);

// Packings of an instant; each gives 0 for the instant 0 and for an instant
// the platform cannot convert. The UTC ones use the local calendar when the
// platform has no UTC record for the instant.
PackedDate local_packed_date(Instant instant);
PackedDate utc_packed_date(Instant instant);
PackedTime utc_packed_time(Instant instant);

// The calendar record of an instant, exact over the whole 64-bit range the
// platform supports; empty when the platform cannot convert it.
std::optional<std::tm> calendar_from_instant(Instant instant, CalendarMode mode);

// Weekday of a packed date, 0 for Sunday to 6 for Saturday, by the
// March-based weekday congruence in truncating integer arithmetic: exact
// from the year 1 to the end of February 4600; later dates may give a
// negative value. The date is not validated (0 gives 3).
int weekday_of(PackedDate date);

} // namespace lsmtp
