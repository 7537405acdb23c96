#include "platform/seams.h"

#include <utility>

namespace lsmtp::platform {
namespace {

// Per-thread: a test's seams never leak into another thread.
thread_local const Seams *installed_seams = nullptr;
thread_local std::size_t sends_seen = 0;

} // namespace

const Seams *current_seams() { return installed_seams; }

ScopedSeams::ScopedSeams(Seams seams)
    : seams_(std::move(seams)), previous_(installed_seams), previous_sends_(sends_seen)
{
    installed_seams = &seams_;
    sends_seen = 0;
}

ScopedSeams::~ScopedSeams()
{
    installed_seams = previous_;
    sends_seen = previous_sends_;
}

std::optional<bool> send_by_seams(const char *data, std::size_t length)
{
    const Seams *seams = installed_seams;
    if (seams == nullptr)
        return std::nullopt;
    if (seams->sending)
        seams->sending(length);
    if (seams->allow_send && !seams->allow_send(++sends_seen))
        return false;
    if (seams->send)
        return seams->send(std::string_view(data, length));
    return std::nullopt;
}

} // namespace lsmtp::platform
