#include "platform/random.h"

#include "platform/seams.h"

#include <cerrno>
#include <sys/random.h>
#include <unistd.h>

namespace lsmtp::platform {

bool fill_random(unsigned char *out, std::size_t size)
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->random_bytes) {
        seams->random_bytes(out, size);
        return true;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = getrandom(out + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t process_id()
{
    if (const Seams *seams = current_seams(); seams != nullptr && seams->process_id)
        return seams->process_id();
    return static_cast<std::uint32_t>(getpid());
}

} // namespace lsmtp::platform
