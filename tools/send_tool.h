// lsmtp-send without its main(): reads the command line, makes the one
// call and tells its result, on the streams it is given, so that the whole
// tool can be tried in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct ToolStreams {
    std::ostream &out; // the one result line, --help and --version
    std::ostream &err; // messages, the progress line and the --verbose transcript
    bool err_is_terminal = false;
};

// Runs the tool on `arguments` (after the program's name, UTF-8) and
// returns its exit status (see diagnosis.h).
int run_send_tool(const std::vector<std::string> &arguments, ToolStreams streams);
