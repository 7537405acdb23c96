// Test seams of the platform layer.
//
// A test installs a Seams record for its own thread with ScopedSeams; the
// platform functions consult it before touching the system. Nothing is
// shared between threads, so concurrent tests (and concurrent library
// calls) never see each other's seams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string_view>

namespace lsmtp::platform {

// One reading of the wall clock: seconds since 1970-01-01 UTC and the
// milliseconds within that second.
struct WallClock {
    std::int64_t seconds = 0;
    int milliseconds = 0;
};

struct Seams {
    // Replaces the system clock.
    std::function<WallClock()> clock;
    // Replaces the real pause; receives the pause in milliseconds.
    std::function<void(int)> pause;
    // Replaces the conversion of a local calendar record into an instant;
    // empty stands for a moment the platform cannot represent.
    std::function<std::optional<std::int64_t>(const std::tm &)> local_instant;
    // Called before every send on a socket with the number of that send
    // (1, 2, ...) in this thread; returning false makes the send fail.
    std::function<bool(std::size_t)> allow_send;
    // Replaces the system's send once allow_send has let it through: takes
    // the whole write and answers whether it went out.
    std::function<bool(std::string_view)> send;
    // Told the length of every whole write asked of a socket in this thread,
    // before anything else happens to it.
    std::function<void(std::size_t)> sending;
    // Replace the system's random source and the process number.
    std::function<void(unsigned char *, std::size_t)> random_bytes;
    std::function<std::uint32_t()> process_id;
};

// The seams of the calling thread, or null when none are installed.
const Seams *current_seams();

class ScopedSeams {
public:
    explicit ScopedSeams(Seams seams);
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams &) = delete;
    ScopedSeams &operator=(const ScopedSeams &) = delete;

private:
    Seams seams_;
    const Seams *previous_;
    std::size_t previous_sends_;
};

// Reports a send of the calling thread to Seams::sending, counts it against
// Seams::allow_send and hands it to Seams::send. Empty when the system is to do the send.
std::optional<bool> send_by_seams(const char *data, std::size_t length);

} // namespace lsmtp::platform
