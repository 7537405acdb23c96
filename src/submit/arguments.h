// The arguments of one lsmtp_send_mail call and their checks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

struct MailArguments {
    const char *smtp_host;
    const char *subject;
    const char *body;
    const char *from_addr;
    const char *from_header;
    const char *to_list;
    const char *to_header;
    const char *cc_list;
    const char *cc_header;
    const char *bcc_list;
    const char *bcc_header;
    const char *reply_to;
    const char *receipt_to;
    const char *comments;
    const char *mailer;
    const char *attachments;
};

// An optional argument counts when it is non-null and non-empty.
inline bool given(const char *text) { return text != nullptr && text[0] != '\0'; }

// The arguments with every null optional argument made "": only smtp_host,
// from_addr and to_list are required, and they stay as given.
MailArguments with_empty_for_null(const MailArguments &args);

// The envelope address a recipient piece or the sender stands for:
// "Display Name <addr>" (as pasted from a To line) and "<addr>" give addr,
// anything else is the address itself. False when the address holds "<",
// ">", white space or a control character, any of which would let the text
// leave the angle brackets of MAIL FROM or RCPT TO (or add parameters).
bool envelope_address(std::string_view piece, std::string_view &address);

// 0 when the arguments are safe to use, SMTP_ERR_ARGUMENT otherwise: a
// required argument is null, an envelope address is unsafe (see
// envelope_address) or a text would break out of its line.
// `attachment_paths` are the paths the attachments argument names.
int check_arguments(const MailArguments &args, const std::vector<std::string> &attachment_paths);

} // namespace lsmtp
