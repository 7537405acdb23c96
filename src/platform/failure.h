// Why a call into the system failed: the one shape in which the platform
// layer reports a failure.
#pragma once

#include <string>

namespace lsmtp::platform {

// Taken where the call failed, before anything else could overwrite the
// system's last error.
struct Failure {
    // errno; on Windows the code of GetLastError or WSAGetLastError; for a
    // name lookup the resolver's own (EAI_*)
    int code = 0;
    std::string text;   // what the system says of it: "No such file or directory"

    // A failure always has words; success has none.
    explicit operator bool() const { return !text.empty(); }
};

// The failure the system reports as `code`, in the system's words.
Failure failure_of(int code);

// The calling thread's last error (errno; GetLastError on Windows), for the
// platform code to take right after the call that failed.
Failure last_failure();

// What the platform code reports on its own: a call that a test's seams
// refuse (access denied), and a call on a file that is not open.
Failure refused_by_seams();
Failure not_open();

} // namespace lsmtp::platform
