// Progress of the calls a thread makes, for the lsmtp-send progress line.
//
// Not an API. This header is private to the lsmtp source tree: it is not
// installed, the shared library exports nothing of it, and it may change
// with any release. Only code linked with the library's objects (the
// command-line tool, the tests) can use it.
#pragma once

#include <cstddef>

namespace lsmtp {

class ProgressObserver {
public:
    // Characters of an attachment's encoded copy just written.
    virtual void encoded(std::size_t bytes) = 0;
    // Message content (between the DATA reply and the end-of-data marker)
    // just handed to the connection.
    virtual void sent(std::size_t bytes) = 0;

protected:
    ~ProgressObserver() = default;
};

// Makes `observer` hear of the calls of the constructing thread until the
// object is destroyed; one installed before is restored then. The observer
// is called on that thread, from inside the call.
class ScopedProgressObserver {
public:
    explicit ScopedProgressObserver(ProgressObserver &observer);
    ~ScopedProgressObserver();
    ScopedProgressObserver(const ScopedProgressObserver &) = delete;
    ScopedProgressObserver &operator=(const ScopedProgressObserver &) = delete;

private:
    ProgressObserver *previous_;
};

// Tell the calling thread's observer, if any.
void report_encoded(std::size_t bytes);
void report_sent(std::size_t bytes);

} // namespace lsmtp
