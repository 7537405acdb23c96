#include "send_tool.h"

#include "call_watcher.h"
#include "console.h"
#include "diagnosis.h"
#include "lsmtp.h"
#include "progress_line.h"
#include "text/text.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

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
    std::string_view parameter; // the call's parameter it fills, as the library names it
    std::string_view help;
};

constexpr Flag flags[] = {
    {"--host", f_host, "smtp_host", "mail server name, IPv4 or IPv6 address (port 25); required"},
    {"--from", f_from, "from_addr", "envelope sender; also the default From, Sender and Reply-To; required"},
    {"--to", f_to, "to_list", "To recipients, separated by \",\" or \";\"; repeat for more; also the To header"},
    {"--cc", f_cc, "cc_list", "Cc recipients; repeat for more; also the Cc header"},
    {"--bcc", f_bcc, "bcc_list", "Bcc recipients; repeat for more; never shown in the headers"},
    {"--subject", f_subject, "subject", "Subject header"},
    {"--body", f_body, "body", "text of the body part"},
    {"--body-file", f_body_file, "", "read the body part from FILE; \"-\" reads standard input"},
    {"--attach", f_attach, "attachments", "attach FILE, sent base64-encoded; repeat for more files"},
    {"--from-header", f_from_header, "from_header", "From and Sender header, in place of --from"},
    {"--to-header", f_to_header, "to_header", "To header, in place of --to"},
    {"--cc-header", f_cc_header, "cc_header", "Cc header, in place of --cc"},
    {"--bcc-header", f_bcc_header, "bcc_header", "Bcc header text; the only source of a Bcc line"},
    {"--reply-to", f_reply_to, "reply_to", "Reply-To header, in place of --from"},
    {"--receipt-to", f_receipt_to, "receipt_to", "Return-Receipt-To header"},
    {"--comments", f_comments, "comments", "Comments header"},
    {"--mailer", f_mailer, "mailer", "X-Mailer header, in place of the library's own name"},
};

// The recipient lists may be given more than once; their values join.
bool is_list(Field field) { return field == f_to || field == f_cc || field == f_bcc; }

struct Request {
    std::optional<std::string> values[field_count];
    std::vector<std::string> attachments;
    std::uint64_t attachment_bytes = 0;
    bool quiet = false;
    bool verbose = false;
};

// Left column of the help text: the label and spaces up to the description.
std::string column(std::string label)
{
    constexpr std::size_t width = 28;
    label.resize(label.size() < width ? width : label.size() + 1, ' ');
    return label;
}

// A line break inside the example, as the platform's shell continues one.
#if defined(_WIN32)
constexpr std::string_view continued = " ^\n";
#else
constexpr std::string_view continued = " \\\n";
#endif

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
    out << "  " << column("-v, --verbose") << "show the dialogue with the server on standard error\n"
        << "  " << column("--quiet") << "no progress line (one is drawn on a terminal for large attachments)\n"
        << "  " << column("-h, --help") << "show this text\n"
        << "  " << column("-V, --version") << "show the version\n\n"
        << "A list holds addresses or files separated by \",\" or \";\"; so an --attach path may hold neither.\n"
        << "At least one of --to, --cc and --bcc names a recipient. A recipient the server refuses stops the\n"
        << "whole message: nothing is sent to the others.\n\n"
        << "Example:\n"
        << "  " << program << " --host mail.example.com --from alice@example.com" << continued
        << "      --to bob@example.com --to carol@example.com --cc dave@example.com" << continued
        << "      --subject \"Monthly report\" --body-file note.txt --attach report.pdf --attach data.csv\n"
        << "  221 accepted by 192.0.2.1: 250 2.0.0 Ok: queued as 4F1A2B3C\n\n"
        << "Result codes (the first word printed):\n"
        << "  " << column("399 or below") << "accepted: the server took the message (221 is its usual reply to QUIT);\n"
        << "  " << column("") << "then who accepted it and the server's reply, with its queue id\n"
        << "  " << column("400 to 699") << "refused by the server: its reply to the command that stopped the session\n";
    for (const LibraryCode &entry : library_code_table())
        out << "  " << column(lsmtp::concat(std::to_string(entry.code), " ", entry.name)) << entry.meaning << '\n';
    out << "\nExit status:\n";
    for (const ExitStatusRow &row : exit_status_table()) {
        const std::string status = std::to_string(row.status);
        out << "  " << status << std::string(4 - status.size(), ' ');
        for (char c : row.meaning)
            out << c << (c == '\n' ? "      " : "");
        out << '\n';
    }
    out << "\nA failure is told on standard error in the library's words: the command refused and the\n"
        << "server's reply, each address tried and why the connection failed, or the rule a value broke.\n";
}

class Tool {
public:
    explicit Tool(ToolStreams streams) : io_(streams) {}
    int run(const std::vector<std::string> &arguments);

private:
    enum class Parse { run, help, version, error };

    int usage_error(std::string_view message);
    Parse parse_arguments(const std::vector<std::string> &arguments, int &status);
    int check_attachment(const std::string &path);
    int check_attachment_file(const std::string &path);
    int read_body_file(const std::string &path, std::string &body);
    int complete_request();
    int call_library(char *result_text, int result_text_size);
    int send_and_report();
    int print_output(void (*print)(std::ostream &));

    ToolStreams io_;
    Request request_;
};

int Tool::usage_error(std::string_view message)
{
    io_.err << program << ": " << message << "\nTry '" << program << " --help' for more information.\n";
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

// The option that fills the call's parameter `name`, or "".
std::string_view flag_of_parameter(std::string_view name)
{
    for (const Flag &flag : flags) {
        if (!name.empty() && flag.parameter == name)
            return flag.name;
    }
    return "";
}

Tool::Parse Tool::parse_arguments(const std::vector<std::string> &arguments, int &status)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (arg == "--help" || arg == "-h")
            return Parse::help;
        if (arg == "--version" || arg == "-V")
            return Parse::version;
        if (arg == "--quiet" || arg == "--verbose" || arg == "-v") {
            (arg == "--quiet" ? request_.quiet : request_.verbose) = true;
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
            status = usage_error(arg.starts_with("-") ? lsmtp::concat("unknown option '", name, "'")
                                                      : lsmtp::concat("unexpected argument '", arg, "'"));
            return Parse::error;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                status = usage_error(lsmtp::concat(name, " needs a value"));
                return Parse::error;
            }
            value = arguments[++i];
        }
        std::optional<std::string> &slot = request_.values[flag->field];
        if (flag->field == f_attach) {
            if ((status = check_attachment(*value)) != 0)
                return Parse::error;
            request_.attachments.push_back(*value);
        } else if (slot && is_list(flag->field)) {
            lsmtp::concat_append(*slot, ", ", *value);
        } else if (slot) {
            status = usage_error(lsmtp::concat(name, " is given twice"));
            return Parse::error;
        } else {
            slot = *value;
        }
    }
    return Parse::run;
}

// The library splits the attachments text on "," and ";" and trims white
// space around each piece, so a path must not rely on any of them.
int Tool::check_attachment(const std::string &path)
{
    if (path.empty())
        return usage_error("--attach needs a file path");
    if (path.find_first_of(",;") != std::string::npos)
        return usage_error(lsmtp::concat("--attach '", path, "': a path may not contain \",\" or \";\" (they separate files)"));
    if (std::strchr(" \t\r\n\v\f", path.front()) || std::strchr(" \t\r\n\v\f", path.back()))
        return usage_error(lsmtp::concat("--attach '", path, "': a path may not begin or end with white space"));
    return 0;
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
    return errno != 0 ? "cannot be read: " + console::last_error_text() : "cannot be read";
}

// The library answers 721 for an attachment it cannot read; checking first
// names the file before anything is sent.
int Tool::check_attachment_file(const std::string &path)
{
    const std::filesystem::path file = console::path_from_utf8(path);
    if (const std::string problem = attachment_problem(file); !problem.empty()) {
        io_.err << program << ": attachment '" << path << "': " << problem << '\n';
        return exit_no_input;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error)
        request_.attachment_bytes += size;
    return 0;
}

bool read_all(std::istream &in, std::string &text)
{
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Reads the body from a file or, for "-", from standard input; bytes are
// kept as they are (no line-end translation on any platform).
int Tool::read_body_file(const std::string &path, std::string &body)
{
    bool read = false;
    errno = 0;
    if (path == "-") {
        read = read_all(console::binary_standard_input(), body);
    } else {
        std::ifstream file(console::path_from_utf8(path), std::ios::binary);
        read = file.is_open() && read_all(file, body);
    }
    if (!read) {
        io_.err << program << ": --body-file '" << path << "': cannot be read"
                << (errno != 0 ? ": " + console::last_error_text() : std::string()) << '\n';
        return exit_no_input;
    }
    // The call takes the body as a C string: a NUL byte would cut it short.
    if (body.find('\0') != std::string::npos) {
        io_.err << program << ": --body-file '" << path << "' holds a NUL byte, which cannot be sent as text\n";
        return exit_data_refused;
    }
    return 0;
}

// Whether a list names at least one address, split and trimmed as the
// library splits it.
bool names_a_recipient(const std::optional<std::string> &list)
{
    return list && !lsmtp::split_address_list(*list).empty();
}

int Tool::complete_request()
{
    auto &values = request_.values;
    if (!values[f_host] || values[f_host]->empty())
        return usage_error("--host is required");
    // Caught before any lookup: the name with its port would resolve to
    // nothing, and the port would not be used if it did.
    if (lsmtp::host_has_port(*values[f_host]))
        return usage_error(lsmtp::concat("--host '", *values[f_host], "': the port is always 25: give the host alone; "
                                         "another port is reached through a relay (see ", relay_help, ")"));
    if (!values[f_from])
        return usage_error("--from is required");
    if (!names_a_recipient(values[f_to]) && !names_a_recipient(values[f_cc]) && !names_a_recipient(values[f_bcc]))
        return usage_error("no recipient: give --to, --cc or --bcc");
    if (values[f_body] && values[f_body_file])
        return usage_error("--body and --body-file cannot be used together");
    if (values[f_body_file]) {
        std::string body;
        if (int status = read_body_file(*values[f_body_file], body))
            return status;
        values[f_body] = std::move(body);
    }
    if (!request_.attachments.empty()) {
        std::string joined;
        for (const std::string &path : request_.attachments) {
            if (int status = check_attachment_file(path))
                return status;
            lsmtp::concat_append(joined, joined.empty() ? "" : ";", path);
        }
        values[f_attach] = std::move(joined);
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

int Tool::call_library(char *result_text, int result_text_size)
{
    const Request &r = request_;
    return lsmtp_send_mail_ex(required(r, f_host), required(r, f_subject), optional(r, f_body), required(r, f_from),
                              optional(r, f_from_header), required(r, f_to), optional(r, f_to_header),
                              required(r, f_cc), optional(r, f_cc_header), required(r, f_bcc),
                              optional(r, f_bcc_header), optional(r, f_reply_to), optional(r, f_receipt_to),
                              required(r, f_comments), optional(r, f_mailer), optional(r, f_attach), result_text,
                              result_text_size);
}

// Makes the call, drawing the progress line when it is wanted, then prints
// the result line and, for a failure, why; returns the exit status.
int Tool::send_and_report()
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    CallWatcher watcher(request_.verbose ? &io_.err : nullptr);
    std::optional<ProgressLine> line;
    // The transcript and the progress line would share standard error.
    if (!request_.verbose && progress_wanted(io_.err_is_terminal, request_.quiet, request_.attachment_bytes)) {
        const auto since_start = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
        const std::uint64_t body = request_.values[f_body] ? request_.values[f_body]->size() : 0;
        line.emplace(io_.err, body + base64_size(request_.attachment_bytes), since_start);
        watcher.forward_progress(&*line);
    }
    int code = 0;
    char result_text[LSMTP_RESULT_TEXT_SIZE] = "";
    {
        const lsmtp::ScopedSessionObserver watching(watcher);
        code = call_library(result_text, sizeof result_text);
    }
    if (line)
        line->finish();
    // The library tells every call's outcome; the code alone is a fallback.
    lsmtp::Outcome outcome = watcher.outcome().value_or(lsmtp::Outcome{});
    outcome.code = code;
    io_.out << result_line(outcome.code, result_text) << '\n' << std::flush;
    if (!io_.out)
        io_.err << program << ": the result line could not be written to standard output\n";
    if (outcome.accepted())
        return exit_sent;
    const std::string_view flag = flag_of_parameter(outcome.step == lsmtp::Step::arguments ? outcome.subject : "");
    for (const std::string &line : explain_failure(outcome, result_text, flag))
        io_.err << program << ": " << line << '\n';
    return exit_status(outcome);
}

// Prints the help or the version; 74 when standard output cannot take it.
int Tool::print_output(void (*print)(std::ostream &))
{
    print(io_.out);
    io_.out.flush();
    if (io_.out)
        return exit_sent;
    io_.err << program << ": standard output cannot be written\n";
    return exit_output;
}

void print_version(std::ostream &out) { out << program << ' ' << LSMTP_VERSION << '\n'; }

int Tool::run(const std::vector<std::string> &arguments)
{
    int status = 0;
    switch (parse_arguments(arguments, status)) {
    case Parse::help:
        return print_output(print_usage);
    case Parse::version:
        return print_output(print_version);
    case Parse::error:
        return status;
    case Parse::run:
        break;
    }
    if ((status = complete_request()) != 0)
        return status;
    return send_and_report();
}

} // namespace

int run_send_tool(const std::vector<std::string> &arguments, ToolStreams streams)
{
    return Tool(streams).run(arguments);
}
