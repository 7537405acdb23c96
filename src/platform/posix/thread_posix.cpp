#include "platform/thread.h"

#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <pthread.h>
#include <new>
#include <system_error>
#include <thread>

namespace lsmtp::platform {

Failure run_detached(void (*work)(void *), void *context)
{
    // The worker starts with every signal blocked, so that the host's
    // handlers keep running on the host's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    Failure failed;
    try {
        std::thread(work, context).detach();
    } catch (const std::system_error &error) {
        failed = failure_of(error.code().value());
    } catch (const std::bad_alloc &) {
        failed = failure_of(ENOMEM);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return failed;
}

void keep_module_for_running_work()
{
    // The file this very function was loaded from: the shared library, or
    // the program or plug-in the static library was linked into.
    Dl_info module{};
    if (dladdr(reinterpret_cast<void *>(&keep_module_for_running_work), &module) == 0 || module.dli_fname == nullptr)
        return;
    // NOLOAD finds the copy already mapped; NODELETE makes every dlclose,
    // the host's and ours, leave it mapped. The handle is never closed: that
    // is the point. A program's own file is not found this way and needs
    // no pin anyway.
    [[maybe_unused]] void *pinned = dlopen(module.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace lsmtp::platform
