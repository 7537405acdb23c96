// How lsmtp-send tells the result of its call: the exit status, the result
// line on standard output and, for a failure, why it failed on standard
// error, in the server's own words where it gave any.
#pragma once

#include "base/outcome.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Exit statuses, numbered as sysexits.h numbers them (which Windows lacks),
// so that a script can tell "try again later" (75) from "give up" (69).
enum ExitStatus : int {
    exit_sent = 0,
    exit_usage = 64,
    exit_data_refused = 65,
    exit_no_input = 66,
    exit_no_host = 68,
    exit_refused = 69,
    exit_software = 70,
    exit_system = 71,
    exit_cannot_create = 73,
    exit_output = 74,
    exit_temporary = 75,
    exit_protocol = 76,
};

struct ExitStatusRow {
    int status;
    std::string_view meaning;
};

// Every exit status with its meaning, for the help text.
std::span<const ExitStatusRow> exit_status_table();

// One of the library's own result codes (700 and above).
struct LibraryCode {
    int code;
    std::string_view name;
    std::string_view meaning;
};

std::span<const LibraryCode> library_code_table();

// The exit status for a call that ended with `outcome`. Without the step
// (nobody told it), a failed connection counts as one worth retrying.
int exit_status(const lsmtp::Outcome &outcome);

// The line printed on standard output: the code, then for a message the
// server took the library's text of it (who accepted it and the server's
// reply, which carries its queue id), e.g. "221 accepted by 192.0.2.1: 250
// 2.0.0 Ok: queued as 4F1A2B3C", otherwise the code's meaning.
std::string result_line(int code, std::string_view library_text);

// Where the documentation installed with the tool tells how to send
// through a relay, for the hints that point there.
extern const std::string_view relay_help;

// Why the call failed, as messages to print after the tool's name, one per
// element: the library's text of the result (a reply of several lines
// continuing on indented lines), then what to do next where the tool knows
// it. `flag` is the option that filled the argument the library refused
// (740), or "".
std::vector<std::string> explain_failure(const lsmtp::Outcome &outcome, std::string_view library_text,
                                         std::string_view flag);
