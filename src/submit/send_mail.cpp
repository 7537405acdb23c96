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

// One session's connection and the observer of its dialogue (null when
// nobody listens).
struct Dialogue {
    SmtpSession session;
    ReplyLimits limits;
    SessionObserver *observer = session_observer();
    std::string line;
    // The server's address once connected, which every later result names.
    std::string server_address;
};

// Sends one command line (with its CR LF). A failed write is not reported
// here: it shows up as a failed reply or the server's last word.
bool send_command(Dialogue &dialogue, std::string_view line)
{
    if (dialogue.observer != nullptr)
        dialogue.observer->command(line.substr(0, line.size() - 2));
    return send_text(dialogue.session, line);
}

Reply receive_reply(Dialogue &dialogue, std::chrono::milliseconds limit)
{
    Reply reply = read_reply(dialogue.session, limit);
    if (dialogue.observer != nullptr && !reply.raw.empty())
        dialogue.observer->reply(reply_text(reply.raw));
    return reply;
}

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

// Code 0 when `reply` lets the session go on after a command that needs a
// reply of `wanted_class`; otherwise the outcome that ends the session at
// `step`.
Outcome verdict(Dialogue &dialogue, const Reply &reply, int wanted_class, Step step, std::string_view subject = {})
{
    // No reply at all ends the session as it stands.
    if (reply.status != Reply::Status::received)
        return stopped(missing_reply_code(reply.status), step, subject, dialogue.session.failure.text);
    if (reply.code / 100 == wanted_class)
        return {};
    // A refusal (4xx, 5xx) ends the session as it stands. Exactly 400 (no
    // SMTP code, and a result of 400 would read as success) or a reply of
    // the wrong class: the server and we no longer agree where the dialogue
    // stands, so nothing more is said but QUIT.
    const bool refused = reply.code > 400;
    if (!refused)
        send_command(dialogue, "QUIT\r\n");
    return stopped(refused ? reply.code : SMTP_ERR_REPLY, step, subject, {}, reply_text(reply.raw));
}

// Sends one command line and judges its reply.
Outcome command(Dialogue &dialogue, Step step, int wanted_class = positive, std::string_view subject = {})
{
    send_command(dialogue, dialogue.line);
    return verdict(dialogue, receive_reply(dialogue, dialogue.limits.reply), wanted_class, step, subject);
}

// A write of the message failed: the connection is dead. A server that
// refused the message (552: too big) may have said so before it closed;
// that reply is the better result. Otherwise the system's word on the
// failed write tells why.
Outcome failed_write_result(Dialogue &dialogue, Outcome failed)
{
    const Reply reply = receive_reply(dialogue, failed_write_grace);
    if (reply.status == Reply::Status::received && reply.code > 400)
        return stopped(reply.code, failed.step, failed.subject, {}, reply_text(reply.raw));
    failed.system_text = dialogue.session.failure.text;
    return failed;
}

// The call's result once the server took the message: the code of
// `last_word`, the reply that has the last say, and the words of the reply
// that accepted it, which carry the server's queue id.
Outcome accepted_by(const Reply &accepted, const Reply &last_word)
{
    return stopped(last_word.code, Step::none, {}, {}, reply_text(accepted.raw));
}

// The content after the DATA reply, up to and including the end-of-data
// marker; code 0, or the outcome that ends the session without the marker.
Outcome write_message(Dialogue &dialogue, const std::string &header_block, const MessageContent &content)
{
    DataWriter writer(dialogue.session);
    if (dialogue.observer != nullptr)
        dialogue.observer->message_headers(header_block);
    if (!writer.write(header_block))
        return stopped(SMTP_ERR_WRITE, Step::message);
    if (Outcome stop = write_body_and_attachments(writer, content); stop.code != 0)
        return stop;
    if (!writer.finish())
        return stopped(SMTP_ERR_WRITE, Step::message);
    if (dialogue.observer != nullptr)
        dialogue.observer->command(end_of_data_line);
    return {};
}

// The dialogue from the connection to QUIT; returns the call's result.
Outcome converse(Dialogue &dialogue, const Request &request, const std::string &header_block,
                 const MessageContent &content)
{
    platform::ConnectResult connected = open_connection(dialogue.session.socket, request.host, smtp_port, connect_limit);
    if (Outcome failed = connect_failure(connected, request.host); failed.code != 0)
        return failed;
    dialogue.server_address = std::move(connected.address);

    std::string &line = dialogue.line;
    if (Outcome stop = verdict(dialogue, receive_reply(dialogue, dialogue.limits.reply), positive, Step::greeting);
        stop.code != 0)
        return stop;
    concat_into(line, "HELO ", wire::helo_word, "\r\n");
    if (Outcome stop = command(dialogue, Step::helo, positive, wire::helo_word); stop.code != 0)
        return stop;
    concat_into(line, "MAIL FROM:<", request.sender, ">\r\n");
    if (Outcome stop = command(dialogue, Step::mail, positive, request.sender); stop.code != 0)
        return stop;
    for (const Recipient &recipient : request.recipients) {
        concat_into(line, "RCPT TO:<", recipient.address, ">\r\n");
        if (Outcome stop = command(dialogue, Step::rcpt, positive, recipient.address); stop.code != 0)
            return stop;
    }
    concat_into(line, "DATA\r\n");
    if (Outcome stop = command(dialogue, Step::data, intermediate); stop.code != 0)
        return stop;
    if (Outcome stop = write_message(dialogue, header_block, content); stop.code != 0)
        return stop.code == SMTP_ERR_WRITE ? failed_write_result(dialogue, stop) : stop;
    const Reply accepted = receive_reply(dialogue, dialogue.limits.end_of_data);
    if (Outcome stop = verdict(dialogue, accepted, positive, Step::end_of_data); stop.code != 0)
        return stop;
    // Accepted means accepted: whatever happens at QUIT, the call succeeds,
    // or a caller who retries would send the message twice.
    if (!send_command(dialogue, "QUIT\r\n"))
        return accepted_by(accepted, accepted);
    const Reply farewell = receive_reply(dialogue, dialogue.limits.reply);
    const Reply &last_word = farewell.code / 100 == positive ? farewell : accepted;
    return accepted_by(accepted, last_word);
}

Outcome send_mail(const MailArguments &args, const ReplyLimits &limits)
{
    Request request;
    if (Outcome refused = read_request(args, request); refused.code != 0)
        return refused;
    const std::vector<Attachment> &attachments = request.attachments;
    MessageContent content{prepare_body(request.body), attachments, {}};
    content.boundary = content.body.quoted ? choose_boundary_quoted(content.body.original)
                                           : choose_boundary(content.body.original);
    // The whole header block is composed before connecting, like every
    // check of the request, so the server sees nothing of a refused call.
    const std::string header_block = compose_header_block(request, content.boundary);
    // Started before the name lookup and the socket, stopped after both.
    const platform::SocketLibrary socket_library;
    if (!socket_library.started())
        return stopped(SMTP_ERR_SOCKET, Step::connect, request.host);
    Dialogue dialogue;
    dialogue.limits = limits;
    // Room for the usual command lines at once.
    dialogue.line.reserve(128);
    Outcome result = converse(dialogue, request, header_block, content);
    close_connection(dialogue.session.socket);
    result.server_address = std::move(dialogue.server_address);
    return result;
}

} // namespace

// Only running out of memory can throw inside the library; anything else
// would be a fault of ours, and noexcept makes that stop the process here
// rather than cross into C.
Outcome send_mail_at_edge(const MailArguments &args, const ReplyLimits &limits) noexcept
{
    Outcome outcome;
    try {
        outcome = send_mail(args, limits);
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
    const lsmtp::MailArguments args{smtp_host, subject,  body,       from_addr,  from_header, to_list,
                                    to_header, cc_list,  cc_header,  bcc_list,   bcc_header,  reply_to,
                                    receipt_to, comments, mailer,    attachments};
    const lsmtp::Outcome outcome = lsmtp::send_mail_at_edge(args);
    lsmtp::write_result_text(outcome, result_text, result_text_size);
    return outcome.code;
}
