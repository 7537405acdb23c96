#include "diagnosis.h"

#include "lsmtp.h"
#include "text/text.h"

namespace {

using lsmtp::Outcome;
using lsmtp::Step;

constexpr ExitStatusRow exit_statuses[] = {
    {exit_sent, "sent: the server took the message"},
    {exit_usage, "bad usage: a message names the option at fault"},
    {exit_data_refused, "a value the library refuses (740) or a body holding a NUL byte; nothing was sent"},
    {exit_no_input, "the body file or an attachment cannot be read (721); named, nothing was sent"},
    {exit_no_host, "the host name does not resolve (700)"},
    {exit_refused, "the server refused for good: a 5xx reply"},
    {exit_software, "any other failure"},
    {exit_system, "no socket could be made, or out of memory (710, 750)"},
    {exit_cannot_create, "no room for the encoded copy of an attachment (720)"},
    {exit_output, "standard output cannot be written"},
    {exit_temporary, "worth trying again later: a 4xx reply, a connection refused or timed out (700),\n"
                     "a lost connection (711), no reply in time (713), a failed write (730)"},
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

// The server's reply for a message: its first line inline, the others on
// lines of their own, indented under it.
std::string quoted(const Outcome &outcome)
{
    if (outcome.server_text.empty())
        return std::to_string(outcome.code);
    std::string text;
    for (char c : outcome.server_text)
        text += c == '\n' ? std::string("\n    ") : std::string(1, c);
    return text;
}

// " (what the system said)", or nothing when it said nothing. Windows'
// messages end in white space.
std::string system_said(const Outcome &outcome)
{
    std::string_view said = outcome.system_text;
    while (!said.empty() && lsmtp::is_white_space(said.back()))
        said.remove_suffix(1);
    return said.empty() ? std::string() : lsmtp::concat(" (", said, ")");
}

// The command of a step, as sent when known, else as far as the outcome
// tells it.
std::string command_of(const Outcome &outcome, std::string_view command)
{
    if (!command.empty())
        return std::string(command);
    switch (outcome.step) {
    case Step::helo: return "HELO";
    case Step::mail: return "MAIL FROM";
    case Step::rcpt: return outcome.subject.empty() ? "RCPT TO" : lsmtp::concat("RCPT TO:<", outcome.subject, ">");
    case Step::data: return "DATA";
    case Step::quit: return "QUIT";
    default: return "";
    }
}

std::string refusal(const Outcome &outcome, std::string_view host, std::string_view command)
{
    switch (outcome.step) {
    case Step::greeting:
        return lsmtp::concat(host, " refused the connection: ", quoted(outcome));
    case Step::message:
        return lsmtp::concat(host, " refused the message while it was being sent: ", quoted(outcome));
    case Step::end_of_data:
        return lsmtp::concat(host, " refused the message: ", quoted(outcome));
    default:
        break;
    }
    const std::string sent = command_of(outcome, command);
    if (sent.empty())
        return lsmtp::concat(host, " refused the message: ", quoted(outcome));
    return lsmtp::concat(host, " refused ", sent, ": ", quoted(outcome));
}

// "waiting for the reply to MAIL FROM:<a@x.org>" and the like.
std::string while_waiting(const Outcome &outcome, std::string_view command)
{
    switch (outcome.step) {
    case Step::greeting: return "waiting for its greeting";
    case Step::message: return "while the message was being sent";
    case Step::end_of_data: return "waiting for the reply to the end of the message";
    default: break;
    }
    const std::string sent = command_of(outcome, command);
    return sent.empty() ? "waiting for a reply" : lsmtp::concat("waiting for the reply to ", sent);
}

std::string connect_failure(const Outcome &outcome, std::string_view host)
{
    if (outcome.step == Step::lookup)
        return lsmtp::concat("cannot connect to ", host, ": the name does not resolve to an address",
                             system_said(outcome));
    std::string text = lsmtp::concat("cannot connect to ", host, " port 25");
    if (!outcome.system_text.empty())
        text += lsmtp::concat(": ", outcome.system_text);
    return text;
}

std::string attachment_failure(const Outcome &outcome, std::string_view problem)
{
    const std::string file = outcome.subject.empty() ? std::string("an attachment")
                                                     : lsmtp::concat("attachment '", outcome.subject, "'");
    return lsmtp::concat(file, ": ", problem, system_said(outcome));
}

std::string argument_refusal(const Outcome &outcome, std::string_view flag)
{
    std::string text = flag.empty() ? std::string("an argument is missing or unsafe")
                                    : lsmtp::concat(flag, ": the library refuses the value");
    if (!outcome.system_text.empty())
        text += lsmtp::concat(": ", outcome.system_text);
    return text + "; nothing was sent";
}

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
    case SMTP_ERR_CONNECT: return outcome.step == Step::lookup ? exit_no_host : exit_temporary;
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

std::string result_line(int code)
{
    const std::string number = std::to_string(code);
    if (code > 0 && code < 400)
        return number + " accepted: the server took the message";
    if (code >= 400 && code < 700)
        return number + " refused by the server";
    for (const LibraryCode &entry : library_codes) {
        if (entry.code == code)
            return lsmtp::concat(number, " ", entry.name, ": ", entry.meaning);
    }
    return number + " unknown result";
}

std::vector<std::string> explain_failure(const Outcome &outcome, std::string_view host, std::string_view command,
                                         std::string_view flag)
{
    const int code = outcome.code;
    std::vector<std::string> lines;
    if (code >= 400 && code < 700) {
        lines.push_back(refusal(outcome, host, command));
        return lines;
    }
    switch (code) {
    case SMTP_ERR_CONNECT:
        lines.push_back(connect_failure(outcome, host));
        break;
    case SMTP_ERR_SOCKET:
        lines.push_back(lsmtp::concat("no socket could be made to connect to ", host, system_said(outcome)));
        break;
    case SMTP_ERR_RECV:
        lines.push_back(lsmtp::concat("the connection to ", host, " was lost ", while_waiting(outcome, command),
                                      system_said(outcome)));
        break;
    case SMTP_ERR_TIMEOUT:
        lines.push_back(lsmtp::concat(host, " gave no complete reply in time ", while_waiting(outcome, command)));
        break;
    case SMTP_ERR_WRITE: {
        const std::string sent = command_of(outcome, command);
        lines.push_back(lsmtp::concat("sending ", sent.empty() ? std::string("the message") : sent, " to ", host,
                                      " failed", system_said(outcome)));
        break;
    }
    case SMTP_ERR_REPLY: {
        const std::string sent = command_of(outcome, command);
        lines.push_back(lsmtp::concat(host, " answered ", sent.empty() ? std::string("the session") : sent,
                                      " with an unexpected reply: ",
                                      outcome.server_text.empty() ? std::string("not an SMTP reply") : quoted(outcome)));
        break;
    }
    case SMTP_ERR_ENCODE_CREATE:
        lines.push_back(attachment_failure(outcome, "no encoded copy could be created beside it or in the temporary folder"));
        break;
    case SMTP_ERR_ATTACH_OPEN:
        lines.push_back(attachment_failure(outcome, "cannot be read"));
        break;
    case SMTP_ERR_ARGUMENT:
        lines.push_back(argument_refusal(outcome, flag));
        break;
    case SMTP_ERR_MEMORY:
        lines.push_back("out of memory; the message was not completed");
        break;
    default:
        lines.push_back(lsmtp::concat(host, ": the call failed with result ", std::to_string(code)));
        break;
    }
    // Once the end-of-data marker is out, the server may have queued the
    // message even though its reply never arrived.
    if (outcome.step == Step::end_of_data &&
        (code == SMTP_ERR_RECV || code == SMTP_ERR_TIMEOUT || code == SMTP_ERR_WRITE))
        lines.push_back(lsmtp::concat(host, " may have accepted the message all the same: check before sending it again"));
    return lines;
}
