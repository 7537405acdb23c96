// lsmtp_send_mail: one call, one SMTP session, one message.
#include "lsmtp.h"

#include "submit/arguments.h"
#include "submit/data_writer.h"
#include "submit/entry_text.h"
#include "submit/header_block.h"
#include "submit/message_parts.h"
#include "text/text.h"
#include "transport/connection.h"
#include "transport/reply.h"

#include <chrono>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {
namespace {

constexpr std::uint16_t smtp_port = 25;
constexpr std::string_view helo_word = "sorvane";
// How long a reply may still take to arrive once a write has failed: the
// server may have refused the message and closed, its reply on the way.
constexpr std::chrono::seconds failed_write_grace{2};

constexpr int positive = 2;      // 2xx: the command was carried out
constexpr int intermediate = 3;  // 3xx: go on (DATA's 354)

// 0 when `code` lets the session go on after a command that needs a reply
// of `wanted_class`; otherwise the code that ends the session.
int verdict(SmtpSession &session, int code, int wanted_class)
{
    if (code >= SMTP_ERR_CONNECT)  // our own failure to read a reply
        return code;
    if (code / 100 == wanted_class)
        return 0;
    if (code > 400)  // 4xx or 5xx: refused
        return code;
    // Exactly 400 (no SMTP code, and a result of 400 would read as success)
    // or a reply of the wrong class: the server and we no longer agree where
    // the dialogue stands, so nothing more is said but QUIT.
    send_text(session, "QUIT\r\n");
    return SMTP_ERR_REPLY;
}

// Sends one command line and judges its reply. A failed write is not
// reported here: it shows up as a failed reply or the server's last word.
int command(SmtpSession &session, const std::string &line, int wanted_class = positive)
{
    send_text(session, line);
    return verdict(session, read_reply(session), wanted_class);
}

// A write of the message failed: the connection is dead. A server that
// refused the message (552: too big) may have said so before it closed;
// that reply is the better result.
int failed_write_result(SmtpSession &session)
{
    const int code = read_reply(session, failed_write_grace);
    return code > 400 && code < SMTP_ERR_CONNECT ? code : SMTP_ERR_WRITE;
}

int offer_recipients(SmtpSession &session, const MailArguments &args, std::string &line)
{
    for (const char *list : {args.to_list, args.cc_list, args.bcc_list}) {
        for (std::string_view piece : split_address_list(list)) {
            std::string_view recipient;
            envelope_address(piece, recipient);  // checked before connecting
            if (int stop = command(session, concat_into(line, "RCPT TO:<", recipient, ">\r\n")))
                return stop;
        }
    }
    return 0;
}

// The content after the DATA reply, up to and including the end-of-data
// marker; 0, or the code that ends the session without the marker.
int write_message(SmtpSession &session, const std::string &header_block, const MessageContent &content)
{
    DataWriter writer(session);
    if (!writer.write(header_block))
        return SMTP_ERR_WRITE;
    if (int stop = write_body_and_attachments(writer, content))
        return stop;
    return writer.finish() ? 0 : SMTP_ERR_WRITE;
}

// The dialogue from the connection to QUIT; returns the call's result.
int converse(SmtpSession &session, const MailArguments &args, const std::string &header_block,
             const MessageContent &content)
{
    if (int failed = open_connection(session.socket, args.smtp_host, smtp_port, connect_limit))
        return failed;

    std::string line;
    if (int stop = verdict(session, read_reply(session), positive))
        return stop;
    if (int stop = command(session, concat_into(line, "HELO ", helo_word, "\r\n")))
        return stop;
    std::string_view sender;
    envelope_address(args.from_addr, sender);
    if (int stop = command(session, concat_into(line, "MAIL FROM:<", sender, ">\r\n")))
        return stop;
    if (int stop = offer_recipients(session, args, line))
        return stop;
    if (int stop = command(session, concat_into(line, "DATA\r\n"), intermediate))
        return stop;
    if (int stop = write_message(session, header_block, content))
        return stop == SMTP_ERR_WRITE ? failed_write_result(session) : stop;
    const int accepted = read_reply(session);
    if (int stop = verdict(session, accepted, positive))
        return stop;
    // Accepted means accepted: whatever happens at QUIT, the call succeeds,
    // or a caller who retries would send the message twice.
    if (!send_text(session, "QUIT\r\n"))
        return accepted;
    const int farewell = read_reply(session);
    return farewell / 100 == positive ? farewell : accepted;
}

int send_mail(const MailArguments &given_args)
{
    const EntryText entry = text_on_entry(with_empty_for_null(given_args));
    const MailArguments &args = entry.args;
    MessageContent content;
    // The caller's list is split once, into a copy of our own; the files
    // are opened by the names as given.
    content.paths = attachment_paths(given_args.attachments);
    if (int refused = check_arguments(args, content.paths))
        return refused;
    content.names = attachment_names(content.paths, args.attachments);
    content.body = prepare_body(args.body);
    content.boundary = choose_boundary(content.body.wire());
    // The whole header block is composed before connecting, so that a
    // value that cannot be sent is refused before the server sees anything.
    const std::optional<std::string> header_block = compose_header_block(args, content.boundary);
    if (!header_block)
        return SMTP_ERR_ARGUMENT;
    if (int unreadable = check_attachments(content.paths))
        return unreadable;
    // Started before the name lookup and the socket, stopped after both.
    const platform::SocketLibrary socket_library;
    if (!socket_library.started())
        return SMTP_ERR_SOCKET;
    SmtpSession session;
    const int result = converse(session, args, *header_block, content);
    close_connection(session.socket);
    return result;
}

} // namespace
} // namespace lsmtp

extern "C" LSMTP_API int LSMTP_CALL lsmtp_send_mail(const char *smtp_host, const char *subject, const char *body,
                                         const char *from_addr, const char *from_header, const char *to_list,
                                         const char *to_header, const char *cc_list, const char *cc_header,
                                         const char *bcc_list, const char *bcc_header, const char *reply_to,
                                         const char *receipt_to, const char *comments, const char *mailer,
                                         const char *attachments)
{
    const lsmtp::MailArguments args{smtp_host, subject,  body,       from_addr,  from_header, to_list,
                                    to_header, cc_list,  cc_header,  bcc_list,   bcc_header,  reply_to,
                                    receipt_to, comments, mailer,    attachments};
    // No exception may cross the C interface; the only one the library can
    // meet is running out of memory.
    try {
        return lsmtp::send_mail(args);
    } catch (const std::bad_alloc &) {
        return SMTP_ERR_MEMORY;
    } catch (...) {
        return SMTP_ERR_MEMORY;
    }
}
