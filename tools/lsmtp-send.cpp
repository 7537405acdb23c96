// lsmtp-send: sends one message with lsmtp_send_mail from the command line.
// The tool itself is in send_tool.cpp; this is its entry point, which takes
// the arguments as the system gives them (UTF-16 on Windows) and the
// standard streams.
#include "console.h"
#include "diagnosis.h"
#include "send_tool.h"

#include <new>
#include <ostream>

namespace {

int run(int argc, console::NativeChar **argv)
{
    console::StandardStreams streams;
    try {
        return run_send_tool(console::utf8_arguments(argc, argv),
                             ToolStreams{streams.out(), streams.err(), streams.err_is_terminal()});
    } catch (const std::bad_alloc &) {
        streams.err() << "lsmtp-send: out of memory\n";
        return exit_system;
    } catch (...) {
        streams.err() << "lsmtp-send: unexpected failure\n";
    }
    return exit_software;
}

} // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t **argv) { return run(argc, argv); }
#else
int main(int argc, char **argv) { return run(argc, argv); }
#endif
