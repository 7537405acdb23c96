#include "platform/seams.h"

#include <array>
#include <atomic>
#include <utility>

namespace lsmtp::platform {

struct InstalledSeams {
    Seams seams;
    // The caller and its lookup worker may count at the same time.
    std::array<std::atomic<std::size_t>, call_kinds> calls{};
};

namespace {

// Per-thread: a test's seams never leak into another thread. A plain
// pointer, so that a thread's exit has nothing to destroy. Every platform
// call reads it, so on ELF it sits in the static TLS block: one load, where
// the default model for a shared library calls __tls_get_addr each time.
// Eight bytes fit the room glibc keeps for libraries loaded with dlopen.
#if defined(__ELF__) && defined(__GNUC__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local const CarriedSeams *installed_seams = nullptr;

InstalledSeams *installed() { return installed_seams == nullptr ? nullptr : installed_seams->get(); }

CarriedSeams fresh(Seams seams)
{
    auto installed = std::make_shared<InstalledSeams>();
    installed->seams = std::move(seams);
    return installed;
}

} // namespace


const Seams *current_seams()
{
    const InstalledSeams *seams = installed();
    return seams == nullptr ? nullptr : &seams->seams;
}

ScopedSeams::ScopedSeams(Seams seams) : ScopedSeams(fresh(std::move(seams))) {}

ScopedSeams::ScopedSeams(CarriedSeams carried) : installed_(std::move(carried)), previous_(installed_seams)
{
    installed_seams = &installed_;
}

ScopedSeams::~ScopedSeams() { installed_seams = previous_; }

CarriedSeams carry_seams() { return installed_seams == nullptr ? nullptr : *installed_seams; }

std::optional<bool> send_by_seams(const char *data, std::size_t length)
{
    InstalledSeams *seams = installed();
    if (seams == nullptr)
        return std::nullopt;
    if (seams->seams.sending)
        seams->seams.sending(length);
    if (seams->seams.send)
        return seams->seams.send(std::string_view(data, length));
    return std::nullopt;
}

bool call_allowed_by_seams(Call call)
{
    InstalledSeams *seams = installed();
    if (seams == nullptr || !seams->seams.allow_call)
        return true;
    return seams->seams.allow_call(call, ++seams->calls[static_cast<std::size_t>(call)]);
}

} // namespace lsmtp::platform
