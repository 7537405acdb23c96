#include "platform/backend.h"
#include "platform/random.h"

#include <atomic>
#include <cerrno>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

// Counts the forks this process came out of, in the child; a lock-free
// atomic, safe to touch in the child before anything else runs there.
std::atomic<std::uint64_t> forks{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);

void count_fork_in_child() { forks.fetch_add(1, std::memory_order_relaxed); }

} // namespace

Failure backend::fill_random(unsigned char *out, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = getrandom(out + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return last_failure();
        // getrandom never answers 0 for a request of some bytes; should it,
        // waiting for more would not end.
        if (got == 0)
            return failure_of(EIO);
        done += static_cast<std::size_t>(got);
    }
    return {};
}

std::uint32_t backend::process_id() { return static_cast<std::uint32_t>(getpid()); }

std::optional<std::uint64_t> fork_generation()
{
    // Registered once, by the first caller; the C library drops the handler
    // when this library is unloaded.
    static const bool watching = pthread_atfork(nullptr, nullptr, count_fork_in_child) == 0;
    if (!watching)
        return std::nullopt;
    return forks.load(std::memory_order_relaxed);
}

} // namespace lsmtp::platform
