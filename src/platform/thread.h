// Work left running on a detached thread, and keeping this module loaded
// for as long as such work may return into it.
#pragma once


#include "platform/failure.h"

namespace lsmtp::platform {

// Runs work(context) on a new detached thread. Fails when no thread could
// be started; work is not run.
Failure run_detached(void (*work)(void *), void *context);

// Called by a caller that leaves detached work still running, before it
// returns to a host that may unload this module: the work's thread will
// return into the module's code. On Windows the thread holds the module
// for as long as it runs; elsewhere the module stays loaded for the rest of
// the process. A module that never left work behind unloads as usual.
void keep_module_for_running_work();

} // namespace lsmtp::platform
