// The lookup worker on Windows: a plain Windows thread, so that it can end
// with FreeLibraryAndExitThread. It holds a reference to this module while
// it runs; a host that unloads the DLL while a lookup it abandoned is still
// running thus keeps the code the worker returns into.
#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace lsmtp::platform {
namespace {

struct DetachedWork {
    void (*work)(void *);
    void *context;
    HMODULE module;
};

DWORD WINAPI run_and_release_module(LPVOID parameter)
{
    const DetachedWork detached = *static_cast<DetachedWork *>(parameter);
    delete static_cast<DetachedWork *>(parameter);
    detached.work(detached.context);
    FreeLibraryAndExitThread(detached.module, 0);
    return 0;
}

} // namespace

Failure run_detached(void (*work)(void *), void *context)
{
    // Taken before the thread starts: the caller may return, and the host
    // unload the DLL, before the worker runs its first instruction.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<void *>(&run_and_release_module)), &module))
        return last_failure();
    auto *detached = new (std::nothrow) DetachedWork{work, context, module};
    const HANDLE thread =
        detached == nullptr ? nullptr : CreateThread(nullptr, 0, &run_and_release_module, detached, 0, nullptr);
    if (thread == nullptr) {
        Failure failed = detached == nullptr ? failure_of(ERROR_NOT_ENOUGH_MEMORY) : last_failure();
        delete detached;
        FreeLibrary(module);
        return failed;
    }
    CloseHandle(thread);
    return {};
}

// Each worker holds its own reference to the module (run_detached).
void keep_module_for_running_work() {}

} // namespace lsmtp::platform
