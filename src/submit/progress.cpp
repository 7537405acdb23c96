#include "submit/progress.h"

namespace lsmtp {
namespace {

// Per-thread, so that concurrent calls never report to each other's observer.
thread_local ProgressObserver *installed_observer = nullptr;

} // namespace

ScopedProgressObserver::ScopedProgressObserver(ProgressObserver &observer) : previous_(installed_observer)
{
    installed_observer = &observer;
}

ScopedProgressObserver::~ScopedProgressObserver() { installed_observer = previous_; }

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
