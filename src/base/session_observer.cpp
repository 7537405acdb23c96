#include "base/session_observer.h"

namespace lsmtp {
namespace {

// Per-thread, so that concurrent calls never report to each other's observer.
// Read at every write: one load from the static TLS block (see seams.cpp).
#if defined(__ELF__) && defined(__GNUC__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local SessionObserver *installed_observer = nullptr;

} // namespace

ScopedSessionObserver::ScopedSessionObserver(SessionObserver &observer) : previous_(installed_observer)
{
    installed_observer = &observer;
}

ScopedSessionObserver::~ScopedSessionObserver() { installed_observer = previous_; }

SessionObserver *session_observer() { return installed_observer; }

void report_encoded(std::size_t bytes)
{
    if (installed_observer != nullptr)
        installed_observer->encoded(bytes);
}

void report_sent(std::size_t bytes)
{
    if (installed_observer != nullptr)
        installed_observer->sent(bytes);
}

} // namespace lsmtp
