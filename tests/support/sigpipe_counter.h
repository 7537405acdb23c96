// A writer to a peer that has gone must fail, not kill the process with
// SIGPIPE: tests count the signal while they write. POSIX only.
#pragma once

#ifndef _WIN32
#include <csignal>

namespace lsmtp::test {

// Counts SIGPIPE instead of dying of it, for the life of the object.
// (Windows has no such signal.)
class SigpipeCounter {
public:
    SigpipeCounter()
    {
        raised = 0;
        struct sigaction counting {};
        counting.sa_handler = [](int) { raised = raised + 1; };
        sigaction(SIGPIPE, &counting, &previous_);
    }
    ~SigpipeCounter() { sigaction(SIGPIPE, &previous_, nullptr); }
    static inline volatile std::sig_atomic_t raised = 0;

private:
    struct sigaction previous_ {};
};

} // namespace lsmtp::test
#endif
