// The Message-ID of each message (RFC 5322, section 3.6.4).
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lsmtp {

// What makes one identifier unlike every other: the moment, the process,
// a count of the identifiers this process made, and random bytes (drawn
// once per thread, see platform::process_mark).
struct UniqueParts {
    platform::WallClock now;
    std::uint32_t process = 0;
    std::uint64_t count = 0;
    std::uint64_t random = 0;
};

// Appends "<unique@domain>" to `out`: the domain is the envelope sender's
// (the address alone) when it is a plain ASCII domain name, else a fixed
// one.
void append_message_id(std::string &out, std::string_view sender, const UniqueParts &unique);

// The parts for the next identifier of this process.
UniqueParts next_unique_parts();

} // namespace lsmtp
