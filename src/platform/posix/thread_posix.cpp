#include "platform/endpoint.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace lsmtp::platform {

bool run_detached(void (*work)(void *), void *context)
{
    // The worker starts with every signal blocked, so that the host's
    // handlers keep running on the host's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    bool started = true;
    try {
        std::thread(work, context).detach();
    } catch (...) {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
}

} // namespace lsmtp::platform
