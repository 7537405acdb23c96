// Why a call into the system failed: the one shape in which the platform
// layer reports a failure.
#pragma once

#include <string>

namespace lsmtp::platform {

// Taken where the call failed, before anything else could overwrite the
// system's last error.
struct Failure {
    // The system's code: errno; on Windows that of GetLastError or
    // WSAGetLastError.
    int code = 0;
    // The resolver's own code (EAI_*) for a name lookup that failed on
    // POSIX; Windows' resolver answers in system codes.
    int resolver = 0;
    std::string text;   // what the system says of it: "No such file or directory"

    explicit operator bool() const { return code != 0 || resolver != 0; }
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
// A wait of ours that reached its deadline, as the system words a timeout
// (ETIMEDOUT; WSAETIMEDOUT on Windows).
Failure timed_out();

} // namespace lsmtp::platform
