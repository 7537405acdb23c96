// Unpredictable bytes and the identity of this process, for names that
// must not repeat across processes and machines.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lsmtp::platform {

// Fills `out` from the system's random source (or the test seam); false
// when the system could not give them, in which case `out` is unchanged.
bool fill_random(unsigned char *out, std::size_t size);

// The number of this process (or the test seam's).
std::uint32_t process_id();

} // namespace lsmtp::platform
