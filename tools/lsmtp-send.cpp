// lsmtp-send: sends one message with lsmtp_send_mail from the command line.
//
// One flag per argument of the call; prints the result code with its
// meaning and turns it into the exit status: 0 when the server took the
// message (result below 400), 1 when the server refused it, 2 for the
// library's own failures, 64 for bad usage, 66 for an attachment that
// cannot be read. Failures are also told on standard error, naming the
// host and what failed.
#include "lsmtp.h"

#include "connect_failure.h"
#include "progress_line.h"
#include "text/text.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int exit_accepted = 0;
constexpr int exit_refused = 1;
constexpr int exit_library = 2;
constexpr int exit_usage = 64;
constexpr int exit_no_input = 66;

constexpr int last_success_code = 399;
constexpr int first_library_code = 700;

constexpr std::string_view program = "lsmtp-send";

// Every flag that takes a value, with the call argument it fills. The order
// is the call's argument order; --body-file and --attach are handled apart.
enum Field {
    f_host, f_subject, f_body, f_from, f_from_header, f_to, f_to_header, f_cc, f_cc_header,
    f_bcc, f_bcc_header, f_reply_to, f_receipt_to, f_comments, f_mailer, f_body_file, f_attach,
    field_count
};

struct Flag {
    std::string_view name;
    Field field;
    std::string_view help;
};

constexpr Flag flags[] = {
    {"--host", f_host, "mail server name, IPv4 or IPv6 address (port 25); required"},
    {"--from", f_from, "envelope sender; also the default From, Sender and Reply-To; required"},
    {"--to", f_to, "To recipients, separated by \",\" or \";\"; also the default To header"},
    {"--cc", f_cc, "Cc recipients; also the default Cc header"},
    {"--bcc", f_bcc, "Bcc recipients; never shown in the headers"},
    {"--subject", f_subject, "Subject header"},
    {"--body", f_body, "text of the body part"},
    {"--body-file", f_body_file, "read the body part from FILE; \"-\" reads standard input"},
    {"--attach", f_attach, "attach FILE, sent base64-encoded; repeat for more files"},
    {"--from-header", f_from_header, "From and Sender header, in place of --from"},
    {"--to-header", f_to_header, "To header, in place of --to"},
    {"--cc-header", f_cc_header, "Cc header, in place of --cc"},
    {"--bcc-header", f_bcc_header, "Bcc header text; the only source of a Bcc line"},
    {"--reply-to", f_reply_to, "Reply-To header, in place of --from"},
    {"--receipt-to", f_receipt_to, "Return-Receipt-To header"},
    {"--comments", f_comments, "Comments header"},
    {"--mailer", f_mailer, "X-Mailer header, in place of the library's own name"},
};

// `failure` says what went wrong in a message that names the host first.
struct LibraryCode {
    int code;
    std::string_view name;
    std::string_view meaning;
    std::string_view failure;
};

constexpr LibraryCode library_codes[] = {
    {SMTP_ERR_CONNECT, "SMTP_ERR_CONNECT",
     "no connection to the server: name not resolved, connection refused, or not connected within 15 s",
     "cannot connect"},
    {SMTP_ERR_SOCKET, "SMTP_ERR_SOCKET", "no socket could be created", "no socket could be created to connect"},
    {SMTP_ERR_RECV, "SMTP_ERR_RECV", "reading a reply failed, or the server closed the connection",
     "the connection failed or was closed while waiting for a reply"},
    {SMTP_ERR_REPLY, "SMTP_ERR_REPLY", "the server's answer is not an SMTP reply, is exactly 400, or is of the wrong class",
     "the server answered with something that is not an SMTP reply of the expected kind"},
    {SMTP_ERR_TIMEOUT, "SMTP_ERR_TIMEOUT", "no complete reply within 10 s",
     "the server gave no complete reply within 10 s"},
    {SMTP_ERR_ENCODE_CREATE, "SMTP_ERR_ENCODE_CREATE", "the encoded copy of an attachment could not be created",
     "the encoded copy of an attachment could not be created beside it or in the temporary folder"},
    {SMTP_ERR_ATTACH_OPEN, "SMTP_ERR_ATTACH_OPEN", "an attachment is not a readable regular file",
     "an attachment could not be read while the message was sent"},
    {SMTP_ERR_WRITE, "SMTP_ERR_WRITE", "sending the message failed and the server gave no reason",
     "sending the message failed: the server stopped taking data"},
    {SMTP_ERR_ARGUMENT, "SMTP_ERR_ARGUMENT", "an argument is missing or unsafe; nothing was sent",
     "an argument is missing or unsafe (a line break in a header value or an address?); nothing was sent"},
    {SMTP_ERR_MEMORY, "SMTP_ERR_MEMORY", "the library ran out of memory; the message was not completed",
     "out of memory; the message was not completed"},
};

struct Request {
    std::optional<std::string> values[field_count];
    std::vector<std::string> attachments;
    std::uint64_t attachment_bytes = 0;
    bool quiet = false;
};

// Left column of the help text: the label and spaces up to the description.
std::string column(std::string label)
{
    constexpr std::size_t width = 28;
    label.resize(label.size() < width ? width : label.size() + 1, ' ');
    return label;
}

void print_usage(std::ostream &out)
{
    out << "Usage: " << program << " --host HOST --from ADDRESS [--to LIST] [OPTION...]\n"
        << "Sends one message over SMTP (port 25) with the lsmtp library and prints the result code.\n"
        << "Each option takes one value, as \"--flag VALUE\" or \"--flag=VALUE\".\n\n";
    for (const Flag &flag : flags) {
        std::string label(flag.name);
        label += flag.field == f_body_file || flag.field == f_attach ? " FILE" : " TEXT";
        out << "  " << column(label) << flag.help << '\n';
    }
    out << "  " << column("--quiet") << "no progress line (one is drawn on a terminal for large attachments)\n"
        << "  " << column("--help") << "show this text\n"
        << "  " << column("--version") << "show the version\n\n"
        << "A list holds addresses or files separated by \",\" or \";\"; so an --attach path may hold neither.\n"
        << "At least one of --to, --cc and --bcc names a recipient.\n\n"
        << "Example:\n"
        << "  " << program << " --host mail.example.com --from alice@example.com \\\n"
        << "      --to \"bob@example.com, carol@example.com\" --cc dave@example.com \\\n"
        << "      --subject \"Monthly report\" --body-file note.txt --attach report.pdf --attach data.csv\n"
        << "  221 accepted: the server took the message\n\n"
        << "Result codes and exit status:\n"
        << "  " << column("399 or below") << "accepted: the server took the message (221 is its usual reply to QUIT); exit 0\n"
        << "  " << column("400 to 699") << "refused by the server: its reply code to the command that stopped the session; exit 1\n";
    for (const LibraryCode &entry : library_codes)
        out << "  " << column(std::to_string(entry.code) + ' ' + std::string(entry.name)) << entry.meaning << "; exit 2\n";
    out << "  " << column("bad usage") << "a message naming the option at fault; exit 64\n"
        << "  " << column("unreadable attachment") << "a message naming the file, before any connection; exit 66\n"
        << "Failures are also told on standard error, naming the host and what failed; after 700 the\n"
        << "message tells a name that does not resolve from a refused connection and a timeout.\n";
}

int usage_error(const std::string &message)
{
    std::cerr << program << ": " << message << "\nTry '" << program << " --help' for more information.\n";
    return exit_usage;
}

const Flag *find_flag(std::string_view name)
{
    for (const Flag &flag : flags) {
        if (flag.name == name)
            return &flag;
    }
    return nullptr;
}

bool read_all(std::istream &in, std::string &text)
{
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Reads the body from a file or, for "-", from standard input; bytes are
// kept as they are (no line-end translation on any platform).
int read_body_file(const std::string &path, std::string &body)
{
    bool ok = false;
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        ok = read_all(std::cin, body);
    } else {
        std::ifstream file(path, std::ios::binary);
        ok = file.is_open() && read_all(file, body);
    }
    if (!ok)
        return usage_error("--body-file: cannot read '" + path + "'");
    // The call takes the body as a C string: a NUL byte would cut it short.
    if (body.find('\0') != std::string::npos)
        return usage_error("--body-file: '" + path + "' holds a NUL byte, which cannot be sent as text");
    return 0;
}

// The library splits the attachments text on "," and ";" and trims white
// space around each piece, so a path must not rely on any of them.
int check_attachment(const std::string &path)
{
    if (path.empty())
        return usage_error("--attach needs a file path");
    if (path.find_first_of(",;") != std::string::npos)
        return usage_error("--attach '" + path + "': a path may not contain \",\" or \";\" (they separate files)");
    if (std::strchr(" \t\r\n\v\f", path.front()) || std::strchr(" \t\r\n\v\f", path.back()))
        return usage_error("--attach '" + path + "': a path may not begin or end with white space");
    return 0;
}

// Whether a list names at least one address, split and trimmed as the
// library splits it.
bool names_a_recipient(const std::optional<std::string> &list)
{
    return list && !lsmtp::split_address_list(*list).empty();
}

// Why an attachment cannot be sent, or "" when it is a readable regular file.
std::string attachment_problem(const std::filesystem::path &path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
        return "no such file";
    if (fs::is_directory(status))
        return "is a folder, not a file";
    if (!fs::is_regular_file(status))
        return "is not a regular file";
    errno = 0;
    if (std::ifstream(path, std::ios::binary))
        return "";
    return errno != 0 ? std::string("cannot be read: ") + std::strerror(errno) : "cannot be read";
}

// The library answers 721 for an attachment it cannot read, without saying
// which; checking first names the file, before anything is sent.
int check_attachment_file(const std::string &path, std::uint64_t &bytes)
{
    const std::filesystem::path file = std::filesystem::u8path(path);
    if (const std::string problem = attachment_problem(file); !problem.empty()) {
        std::cerr << program << ": attachment '" << path << "': " << problem << '\n';
        return exit_no_input;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error)
        bytes += size;
    return 0;
}

enum class Parse { run, help, version, error };

Parse parse_arguments(int argc, char **argv, Request &request, int &status)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help")
            return Parse::help;
        if (arg == "--version")
            return Parse::version;
        if (arg == "--quiet") {
            request.quiet = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string> value;
        if (std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            value = std::string(arg.substr(equals + 1));
        }
        const Flag *flag = find_flag(name);
        if (flag == nullptr) {
            status = usage_error(arg.starts_with("-") ? "unknown option '" + std::string(name) + "'"
                                                      : "unexpected argument '" + std::string(arg) + "'");
            return Parse::error;
        }
        if (!value) {
            if (i + 1 >= argc) {
                status = usage_error(std::string(name) + " needs a value");
                return Parse::error;
            }
            value = argv[++i];
        }
        if (flag->field == f_attach) {
            if ((status = check_attachment(*value)) != 0)
                return Parse::error;
            request.attachments.push_back(*value);
            continue;
        }
        if (request.values[flag->field]) {
            status = usage_error(std::string(name) + " is given twice");
            return Parse::error;
        }
        request.values[flag->field] = *value;
    }
    return Parse::run;
}

int complete_request(Request &request)
{
    if (!request.values[f_host] || request.values[f_host]->empty())
        return usage_error("--host is required");
    if (!request.values[f_from])
        return usage_error("--from is required");
    if (!names_a_recipient(request.values[f_to]) && !names_a_recipient(request.values[f_cc]) &&
        !names_a_recipient(request.values[f_bcc]))
        return usage_error("no recipient: give --to, --cc or --bcc");
    if (request.values[f_body] && request.values[f_body_file])
        return usage_error("--body and --body-file cannot be used together");
    if (request.values[f_body_file]) {
        std::string body;
        if (int status = read_body_file(*request.values[f_body_file], body))
            return status;
        request.values[f_body] = std::move(body);
    }
    if (!request.attachments.empty()) {
        std::string joined;
        for (const std::string &path : request.attachments) {
            if (int status = check_attachment_file(path, request.attachment_bytes))
                return status;
            joined += (joined.empty() ? "" : ";") + path;
        }
        request.values[f_attach] = std::move(joined);
    }
    return 0;
}

// Required arguments of the call default to empty text, optional ones to null.
const char *required(const Request &request, Field field)
{
    return request.values[field] ? request.values[field]->c_str() : "";
}

const char *optional(const Request &request, Field field)
{
    return request.values[field] ? request.values[field]->c_str() : nullptr;
}

int call_library(const Request &request)
{
    return lsmtp_send_mail(required(request, f_host), required(request, f_subject), optional(request, f_body),
                           required(request, f_from), optional(request, f_from_header), required(request, f_to),
                           optional(request, f_to_header), required(request, f_cc), optional(request, f_cc_header),
                           required(request, f_bcc), optional(request, f_bcc_header), optional(request, f_reply_to),
                           optional(request, f_receipt_to), required(request, f_comments),
                           optional(request, f_mailer), optional(request, f_attach));
}

bool stderr_is_terminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

struct Outcome {
    int result = 0;
    std::chrono::milliseconds took{};
};

// Makes the call, drawing the progress line when it is wanted.
Outcome send(const Request &request)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto since_start = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    Outcome outcome;
    if (progress_wanted(stderr_is_terminal(), request.quiet, request.attachment_bytes)) {
        const std::uint64_t body = request.values[f_body] ? request.values[f_body]->size() : 0;
        ProgressLine line(std::cerr, body + base64_size(request.attachment_bytes), since_start);
        const lsmtp::ScopedProgressObserver observing(line);
        outcome.result = call_library(request);
        line.finish();
    } else {
        outcome.result = call_library(request);
    }
    outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return outcome;
}

void tell_failure(const std::string &host, std::string_view what)
{
    std::cerr << program << ": " << host << ": " << what << '\n';
}

// Prints the result line on standard output and, for a failure, what
// failed on standard error; returns the exit status.
int report(const Outcome &outcome, const std::string &host)
{
    const int result = outcome.result;
    if (result <= last_success_code) {
        std::cout << result << " accepted: the server took the message\n";
        return exit_accepted;
    }
    if (result < first_library_code) {
        std::cout << result << " refused by the server\n";
        tell_failure(host, "the server refused the message with reply " + std::to_string(result));
        return exit_refused;
    }
    if (result == SMTP_ERR_CONNECT) {
        const ConnectFailure failure = diagnose_connect_failure(host, outcome.took);
        std::cerr << program << ": " << describe_connect_failure(failure, host, outcome.took) << '\n';
    }
    for (const LibraryCode &entry : library_codes) {
        if (entry.code == result) {
            std::cout << result << ' ' << entry.name << ": " << entry.meaning << '\n';
            if (result != SMTP_ERR_CONNECT)
                tell_failure(host, entry.failure);
            return exit_library;
        }
    }
    std::cout << result << " unknown library error\n";
    tell_failure(host, "unknown library error " + std::to_string(result));
    return exit_library;
}

int run(int argc, char **argv)
{
    Request request;
    int status = 0;
    switch (parse_arguments(argc, argv, request, status)) {
    case Parse::help:
        print_usage(std::cout);
        return 0;
    case Parse::version:
        std::cout << program << ' ' << LSMTP_VERSION << '\n';
        return 0;
    case Parse::error:
        return status;
    case Parse::run:
        break;
    }
    if ((status = complete_request(request)) != 0)
        return status;
    return report(send(request), *request.values[f_host]);
}

} // namespace

int main(int argc, char **argv)
{
#if defined(_WIN32)
    // The library leaves starting Windows Sockets to its host.
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        std::cerr << program << ": Windows Sockets could not be started\n";
        return exit_library;
    }
#endif
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::cerr << program << ": out of memory\n";
    } catch (...) {
        std::cerr << program << ": unexpected failure\n";
    }
    return exit_library;
}
