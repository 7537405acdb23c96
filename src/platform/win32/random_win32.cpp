#include "platform/random.h"

#include "platform/seams.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>

namespace lsmtp::platform {

bool fill_random(unsigned char *out, std::size_t size)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->random_bytes) {
        seams->random_bytes(out, size);
        return true;
    }
    if (size > ULONG_MAX)
        return false;
    return BCRYPT_SUCCESS(
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

std::uint32_t process_id()
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->process_id)
        return seams->process_id();
    return static_cast<std::uint32_t>(GetCurrentProcessId());
}

// Windows has no fork: a process keeps its mark for life.
std::optional<std::uint64_t> fork_generation() { return 0; }

} // namespace lsmtp::platform
