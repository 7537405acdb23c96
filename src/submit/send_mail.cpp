// lsmtp_send_mail: one call, one SMTP session, one message.
#include "lsmtp.h"

#include "base/session_observer.h"
#include "base/wire_text.h"
#include "submit/header_block.h"
#include "submit/message_parts.h"
#include "submit/request.h"
#include "submit/send_mail.h"
#include "submit/result_text.h"
#include "text/text.h"
#include "transport/connection.h"
#include "transport/data_writer.h"
#include "transport/reply.h"

#include <chrono>
#include <new>
#include <string>
#include <string_view>

namespace lsmtp {
namespace {

constexpr std::uint16_t smtp_port = 25;
// How long a reply may still take to arrive once a write has failed: the
// server may have refused the message and closed, its reply on the way.
constexpr std::chrono::seconds failed_write_grace{2};

// The end-of-data marker's line, as the observer hears it.
constexpr std::string_view end_of_data_line = ".";

constexpr int positive = 2;      // 2xx: the command was carried out
constexpr int intermediate = 3;  // 3xx: go on (DATA's 354)

// What the connection attempt came to, as the call's result.
Outcome connect_failure(const platform::ConnectResult &connected, const std::string &host)
{
    using platform::ConnectOutcome;
    if (connected.outcome == ConnectOutcome::connected)
        return {};
    const int code = connected.outcome == ConnectOutcome::no_socket ? SMTP_ERR_SOCKET : SMTP_ERR_CONNECT;
    const bool for_now = connected.outcome == ConnectOutcome::unresolved_for_now;
    const Step step = connected.outcome == ConnectOutcome::unresolved || for_now ? Step::lookup : Step::connect;
    Outcome failed = stopped(code, step, host, connected.failure.text);
    failed.temporary = for_now;
    return failed;
}

int missing_reply_code(Reply::Status status)
{
    switch (status) {
    case Reply::Status::received:
        break;
    case Reply::Status::lost:
        return SMTP_ERR_RECV;
    case Reply::Status::malformed:
        return SMTP_ERR_REPLY;
    case Reply::Status::timed_out:
        return SMTP_ERR_TIMEOUT;
    }
    return 0;
}

// Exactly 400 (no SMTP code, and a result of 400 would read as success) or
// a reply of the wrong class: the server and we no longer agree where the
// dialogue stands, so nothing more is said but QUIT.
bool out_of_step(const Reply &reply, int wanted_class)
{
    return reply.status == Reply::Status::received && reply.code / 100 != wanted_class && reply.code <= 400;
}

// Code 0 when `reply` lets the session go on after a command that needs a
// reply of `wanted_class`; otherwise the outcome that ends the session at
// `step`: no reply at all (`why` the connection's failure, if any), a
// refusal (4xx, 5xx), or a reply out of step.
Outcome verdict(const Reply &reply, int wanted_class, Step step, std::string_view subject,
                const platform::Failure &why)
{
    if (reply.status != Reply::Status::received)
        return stopped(missing_reply_code(reply.status), step, subject, why.text);
    if (reply.code / 100 == wanted_class)
        return {};
    return stopped(out_of_step(reply, wanted_class) ? SMTP_ERR_REPLY : reply.code, step, subject, {},
                   reply_text(reply.raw));
}

// Reads the reply to the command just sent and judges it; a reply out of
// step ends the session with QUIT.
Outcome await_reply(Connection &connection, int wanted_class, Step step, std::string_view subject = {})
{
    const Reply reply = connection.read_reply();
    Outcome stop = verdict(reply, wanted_class, step, subject, connection.failure());
    if (out_of_step(reply, wanted_class))
        connection.command("QUIT");
    return stop;
}

// A write of the message failed: the connection is dead. A server that
// refused the message (552: too big) may have said so before it closed;
// that reply is the better result. Otherwise the system's word on the
// failed write tells why.
Outcome failed_write_result(Connection &connection, Outcome failed)
{
    const Reply reply = connection.read_reply(failed_write_grace);
    if (reply.status == Reply::Status::received && reply.code > 400)
        return stopped(reply.code, failed.step, failed.subject, {}, reply_text(reply.raw));
    failed.system_text = connection.failure().text;
    return failed;
}

// The content after the DATA reply, up to and including the end-of-data
// marker; code 0, or the outcome that ends the session without the marker.
Outcome write_message(Connection &connection, const std::string &header_block, const MessageContent &content)
{
    DataWriter writer(connection);
    SessionObserver *observer = connection.observer();
    if (observer != nullptr)
        observer->message_headers(header_block);
    // Composed in wire form: its lines end in CR LF, a folded line starts
    // with white space, and a value's own line breaks were refused or
    // folded, so no line starts with ".".
    if (!writer.write_wire_lines(header_block))
        return stopped(SMTP_ERR_WRITE, Step::message);
    if (Outcome stop = write_body_and_attachments(writer, content); stop.code != 0)
        return stop;
    if (!writer.finish())
        return stopped(SMTP_ERR_WRITE, Step::message);
    if (observer != nullptr)
        observer->command(end_of_data_line);
    return {};
}

// The dialogue from the greeting to QUIT over an open connection; returns
// the call's result.
Outcome converse(Connection &connection, const Request &request, const std::string &header_block,
                 const MessageContent &content, bool text_wanted)
{
    if (Outcome stop = await_reply(connection, positive, Step::greeting); stop.code != 0)
        return stop;
    connection.command("HELO ", wire::helo_word);
    if (Outcome stop = await_reply(connection, positive, Step::helo, wire::helo_word); stop.code != 0)
        return stop;
    connection.command("MAIL FROM:<", request.sender, ">");
    if (Outcome stop = await_reply(connection, positive, Step::mail, request.sender); stop.code != 0)
        return stop;
    for (const Recipient &recipient : request.recipients) {
        connection.command("RCPT TO:<", recipient.address, ">");
        if (Outcome stop = await_reply(connection, positive, Step::rcpt, recipient.address); stop.code != 0)
            return stop;
    }
    connection.command("DATA");
    if (Outcome stop = await_reply(connection, intermediate, Step::data); stop.code != 0)
        return stop;
    if (Outcome stop = write_message(connection, header_block, content); stop.code != 0)
        return stop.code == SMTP_ERR_WRITE ? failed_write_result(connection, stop) : stop;
    const Reply accepted = connection.read_reply(connection.limits().end_of_data);
    if (Outcome stop = verdict(accepted, positive, Step::end_of_data, {}, connection.failure()); stop.code != 0) {
        if (out_of_step(accepted, positive))
            connection.command("QUIT");
        return stop;
    }
    // Accepted means accepted: whatever happens at QUIT, the call succeeds,
    // or a caller who retries would send the message twice. The result's
    // code is the last positive word, its text the acceptance's, which
    // carries the server's queue id, when anyone reads it (`text_wanted`);
    // taken before the next read reuses the reply's bytes.
    Outcome result = stopped(accepted.code, Step::none, {}, {}, text_wanted ? reply_text(accepted.raw) : "");
    if (connection.command("QUIT")) {
        if (const Reply farewell = connection.read_reply(); farewell.code / 100 == positive)
            result.code = farewell.code;
    }
    return result;
}

Outcome send_mail(const MailArguments &args, const ReplyLimits &limits, bool text_wanted)
{
    Request request;
    if (Outcome refused = read_request(args, request); refused.code != 0)
        return refused;
    const BodyText body = prepare_body(request.body, request.body.ascii);
    const MessageContent content{body, request.attachments,
                                 body.quoted ? choose_boundary_quoted(body.original) : choose_boundary(body.original)};
    // The whole header block is composed before connecting, like every
    // check of the request, so the server sees nothing of a refused call.
    const std::string header_block = compose_header_block(request, content.boundary);
    // Started before the name lookup and the socket, stopped after both.
    const platform::SocketLibrary socket_library;
    if (!socket_library.started())
        return stopped(SMTP_ERR_SOCKET, Step::connect, request.host, socket_library.failure().text);
    Connection connection(limits, session_observer());
    platform::ConnectResult connected = connection.open(request.host, smtp_port);
    if (Outcome failed = connect_failure(connected, request.host); failed.code != 0)
        return failed;
    Outcome result = converse(connection, request, header_block, content, text_wanted);
    // The server's address, which every result after the connection names.
    result.server_address = std::move(connected.address);
    return result;
}

} // namespace

// Only running out of memory can throw inside the library; anything else
// would be a fault of ours, and noexcept makes that stop the process here
// rather than cross into C.
Outcome send_mail_at_edge(const MailArguments &args, const ReplyLimits &limits, bool text_wanted) noexcept
{
    Outcome outcome;
    try {
        outcome = send_mail(args, limits, text_wanted || session_observer() != nullptr);
    } catch (const std::bad_alloc &) {
        // Empty texts: nothing here may allocate.
        outcome = stopped(SMTP_ERR_MEMORY, Step::memory);
    }
    if (SessionObserver *observer = session_observer()) {
        try {
            observer->finished(outcome);
        } catch (const std::bad_alloc &) {
            // The observer's own trouble; the call's result stands.
        }
    }
    return outcome;
}
} // namespace lsmtp

extern "C" LSMTP_API int LSMTP_CALL lsmtp_send_mail(const char *smtp_host, const char *subject, const char *body,
                                         const char *from_addr, const char *from_header, const char *to_list,
                                         const char *to_header, const char *cc_list, const char *cc_header,
                                         const char *bcc_list, const char *bcc_header, const char *reply_to,
                                         const char *receipt_to, const char *comments, const char *mailer,
                                         const char *attachments)
{
    return lsmtp_send_mail_ex(smtp_host, subject, body, from_addr, from_header, to_list, to_header, cc_list,
                              cc_header, bcc_list, bcc_header, reply_to, receipt_to, comments, mailer, attachments,
                              nullptr, 0);
}

extern "C" LSMTP_API int LSMTP_CALL lsmtp_send_mail_ex(const char *smtp_host, const char *subject, const char *body,
                                            const char *from_addr, const char *from_header, const char *to_list,
                                            const char *to_header, const char *cc_list, const char *cc_header,
                                            const char *bcc_list, const char *bcc_header, const char *reply_to,
                                            const char *receipt_to, const char *comments, const char *mailer,
                                            const char *attachments, char *result_text, int result_text_size)
{
    const lsmtp::MailArguments args{
        .smtp_host = smtp_host,
        .subject = subject,
        .body = body,
        .from_addr = from_addr,
        .from_header = from_header,
        .to_list = to_list,
        .to_header = to_header,
        .cc_list = cc_list,
        .cc_header = cc_header,
        .bcc_list = bcc_list,
        .bcc_header = bcc_header,
        .reply_to = reply_to,
        .receipt_to = receipt_to,
        .comments = comments,
        .mailer = mailer,
        .attachments = attachments,
    };
    const lsmtp::Outcome outcome = lsmtp::send_mail_at_edge(args, {}, result_text != nullptr && result_text_size > 0);
    lsmtp::write_result_text(outcome, result_text, result_text_size);
    return outcome.code;
}
