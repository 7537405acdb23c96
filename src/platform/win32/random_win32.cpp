#include "platform/backend.h"
#include "platform/random.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>

namespace lsmtp::platform {

bool backend::fill_random(unsigned char *out, std::size_t size)
{
    if (size > ULONG_MAX)
        return false;
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::uint32_t backend::process_id() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

// Windows has no fork: a process keeps its mark for life.
std::optional<std::uint64_t> fork_generation() { return 0; }

} // namespace lsmtp::platform
