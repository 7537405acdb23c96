// The arguments of one lsmtp_send_mail call and their checks.
#pragma once

#include <string>
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

// 0 when the arguments are safe to use, SMTP_ERR_ARGUMENT otherwise: a
// required argument is null, or a text would break out of its line.
// `attachment_paths` are the paths the attachments argument names.
int check_arguments(const MailArguments &args, const std::vector<std::string> &attachment_paths);

} // namespace lsmtp
