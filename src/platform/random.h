// Unpredictable bytes and the identity of this process, for names that
// must not repeat across processes and machines.
#pragma once

#include "platform/failure.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lsmtp::platform {

// Fills `out` from the system's random source (or the test seam); fails
// when the system could not give them, and `out` is then unchanged.
Failure fill_random(unsigned char *out, std::size_t size);

// The number of this process (or the test seam's).
std::uint32_t process_id();

// What sets one process's identifiers apart from every other's: its number
// and random bytes (zero when the system could not give them).
struct ProcessMark {
    std::uint32_t process = 0;
    std::uint64_t random = 0;
};

// This process's mark: drawn once per thread and kept, not asked of the
// system for every message. A child made by fork draws its own, or it would
// repeat its parent's identifiers. Drawn every time under the test seams for
// the process number or the random bytes.
ProcessMark process_mark();

// A number that changes in a child made by fork, or empty when forks cannot
// be told (then nothing may be kept across calls).
std::optional<std::uint64_t> fork_generation();

} // namespace lsmtp::platform
