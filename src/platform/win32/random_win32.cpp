#include "platform/backend.h"
#include "platform/random.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>

namespace lsmtp::platform {

Failure backend::fill_random(unsigned char *out, std::size_t size)
{
    // BCryptGenRandom fails only for arguments it cannot take (its status
    // codes are not the system's error codes).
    if (size > ULONG_MAX ||
        !BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return failure_of(ERROR_INVALID_PARAMETER);
    return {};
}

std::uint32_t backend::process_id() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

// Windows has no fork: a process keeps its mark for life.
std::optional<std::uint64_t> fork_generation() { return 0; }

} // namespace lsmtp::platform
