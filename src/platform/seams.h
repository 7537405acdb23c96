// Test seams of the platform layer.
//
// A test installs a Seams record for its own thread with ScopedSeams; the
// fronts of the platform services (clock.cpp, random.cpp, file.cpp,
// socket.cpp, endpoint.cpp) consult it before the system is touched. Nothing is
// shared between threads, so concurrent tests (and concurrent library
// calls) never see each other's seams. A worker thread that acts for a call
// (the name lookup) carries the caller's seams, so what it does counts for
// the caller, and keeps them alive for as long as it runs.
#pragma once

#include "platform/clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace lsmtp::platform {

// The kinds of platform call a test can make fail (Seams::allow_call).
// `unnamed` is the attempt at a file without a name (POSIX O_TMPFILE); failing
// it stands for a file system that has none.
enum class Call {
    socket, connect, wait, send, receive, lookup, open, create, read, write, position, close, remove, unnamed
};
inline constexpr std::size_t call_kinds = 14;

struct Seams {
    // Replaces the system clock.
    std::function<WallClock()> clock;
    // Replaces the real pause; receives the pause in milliseconds.
    std::function<void(int)> pause;
    // Replaces the system's send once allow_call has let it through: takes
    // the whole write and answers whether it went out.
    std::function<bool(std::string_view)> send;
    // Told the length of every whole write asked of a socket in this thread,
    // before anything else happens to it.
    std::function<void(std::size_t)> sending;
    // Replace the system's random source and the process number.
    std::function<void(unsigned char *, std::size_t)> random_bytes;
    std::function<std::uint32_t()> process_id;
    // Called before every platform call with its kind and its number among
    // the calls of that kind (1, 2, ...) made under these seams, the lookup
    // worker's included. Returning false makes the call fail as the system
    // would; a close or a remove is still done, only reported as failed.
    std::function<bool(Call, std::size_t)> allow_call;
};

// Seams as installed on a thread, with the counts made against them.
struct InstalledSeams;
using CarriedSeams = std::shared_ptr<InstalledSeams>;

// The seams of the calling thread, or null when none are installed.
const Seams *current_seams();

// The calling thread's seams (null when none), for a worker to adopt.
CarriedSeams carry_seams();

// Installs seams on the calling thread for the life of the object: a
// test's own, or those a worker carries from its caller (see carry_seams).
class ScopedSeams {
public:
    explicit ScopedSeams(Seams seams);
    explicit ScopedSeams(CarriedSeams carried);
    ~ScopedSeams();
    ScopedSeams(const ScopedSeams &) = delete;
    ScopedSeams &operator=(const ScopedSeams &) = delete;

private:
    CarriedSeams installed_;
    const CarriedSeams *previous_;
};

// Reports a send of the calling thread to Seams::sending and hands it to
// Seams::send. Empty when the system is to do the send.
std::optional<bool> send_by_seams(const char *data, std::size_t length);

// Counts a platform call against Seams::allow_call; false when the call is
// to fail.
bool call_allowed_by_seams(Call call);

} // namespace lsmtp::platform
