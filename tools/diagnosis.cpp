#include "diagnosis.h"

#include "lsmtp.h"
#include "text/text.h"

#include <algorithm>

namespace {

using lsmtp::Outcome;
using lsmtp::Step;

constexpr ExitStatusRow exit_statuses[] = {
    {exit_sent, "sent: the server took the message"},
    {exit_usage, "bad usage: a message names the option at fault (a port after --host's name too)"},
    {exit_data_refused, "a value the library refuses (740) or a body holding a NUL byte; nothing was sent"},
    {exit_no_input, "the body file or an attachment cannot be read (721); named, nothing was sent"},
    {exit_no_host, "the host name does not exist or has no address (700)"},
    {exit_refused, "the server refused for good: a 5xx reply"},
    {exit_software, "any other failure"},
    {exit_system, "no socket could be made, or out of memory (710, 750)"},
    {exit_cannot_create, "no room for the encoded copy of an attachment (720)"},
    {exit_output, "standard output cannot be written"},
    {exit_temporary, "worth trying again later: a 4xx reply, a name lookup that failed for now or timed out,\n"
                     "a connection refused or timed out (700), a lost connection (711), no reply in time (713),\n"
                     "a failed write (730)"},
    {exit_protocol, "the server's reply is malformed or of the wrong kind (712)"},
};

constexpr LibraryCode library_codes[] = {
    {SMTP_ERR_CONNECT, "SMTP_ERR_CONNECT",
     "no connection to the server: name not resolved, connection refused, or not connected within 15 s"},
    {SMTP_ERR_SOCKET, "SMTP_ERR_SOCKET", "no socket could be created"},
    {SMTP_ERR_RECV, "SMTP_ERR_RECV", "reading a reply failed, or the server closed the connection"},
    {SMTP_ERR_REPLY, "SMTP_ERR_REPLY", "the server's answer is not an SMTP reply, is exactly 400, or is of the wrong class"},
    {SMTP_ERR_TIMEOUT, "SMTP_ERR_TIMEOUT", "no complete reply within 10 s (10 minutes after the message)"},
    {SMTP_ERR_ENCODE_CREATE, "SMTP_ERR_ENCODE_CREATE", "the encoded copy of an attachment could not be created"},
    {SMTP_ERR_ATTACH_OPEN, "SMTP_ERR_ATTACH_OPEN", "an attachment is not a readable regular file"},
    {SMTP_ERR_WRITE, "SMTP_ERR_WRITE", "sending the message failed and the server gave no reason"},
    {SMTP_ERR_ARGUMENT, "SMTP_ERR_ARGUMENT", "an argument is missing or unsafe; nothing was sent"},
    {SMTP_ERR_MEMORY, "SMTP_ERR_MEMORY", "the library ran out of memory; the message was not completed"},
};

} // namespace

std::span<const ExitStatusRow> exit_status_table() { return exit_statuses; }

std::span<const LibraryCode> library_code_table() { return library_codes; }

int exit_status(const Outcome &outcome)
{
    const int code = outcome.code;
    if (outcome.accepted())
        return exit_sent;
    if (code >= 400 && code < 500)
        return exit_temporary;
    if (code >= 500 && code < 600)
        return exit_refused;
    switch (code) {
    case SMTP_ERR_CONNECT: return outcome.step == Step::lookup && !outcome.temporary ? exit_no_host : exit_temporary;
    case SMTP_ERR_SOCKET: return exit_system;
    case SMTP_ERR_RECV: return exit_temporary;
    case SMTP_ERR_REPLY: return exit_protocol;
    case SMTP_ERR_TIMEOUT: return exit_temporary;
    case SMTP_ERR_ENCODE_CREATE: return exit_cannot_create;
    case SMTP_ERR_ATTACH_OPEN: return exit_no_input;
    case SMTP_ERR_WRITE: return exit_temporary;
    case SMTP_ERR_ARGUMENT: return exit_data_refused;
    case SMTP_ERR_MEMORY: return exit_system;
    default: return exit_software;
    }
}

#if defined(_WIN32)
const std::string_view relay_help = "README-windows.txt, \"Reaching a mail provider\"";
#else
const std::string_view relay_help = "lsmtp-send(1), \"Reaching a mail provider\"";
#endif

std::string result_line(int code, std::string_view library_text)
{
    const std::string number = std::to_string(code);
    if (code > 0 && code < 400) {
        if (library_text.empty())
            return number + " accepted: the server took the message";
        // One line: a reply of several lines goes on after a space.
        std::string line = lsmtp::concat(number, " ", library_text);
        std::replace(line.begin(), line.end(), '\n', ' ');
        return line;
    }
    if (code >= 400 && code < 700)
        return number + " refused by the server";
    for (const LibraryCode &entry : library_codes) {
        if (entry.code == code)
            return lsmtp::concat(number, " ", entry.name, ": ", entry.meaning);
    }
    return number + " unknown result";
}

std::vector<std::string> explain_failure(const Outcome &outcome, std::string_view library_text, std::string_view flag)
{
    const int code = outcome.code;
    std::string told = flag.empty() ? std::string() : lsmtp::concat(flag, ": ");
    // A reply's further lines, indented under the first.
    for (const char c : library_text)
        told += c == '\n' ? std::string_view("\n    ") : std::string_view(&c, 1);
    std::vector<std::string> lines{std::move(told)};
    // Port 25 is closed or filtered on the way to most providers.
    if (code == SMTP_ERR_CONNECT && outcome.step == Step::connect)
        lines.push_back(lsmtp::concat("nothing took the connection on port 25: see ", relay_help,
                                      " for sending through a relay that does"));
    return lines;
}
