// The sixteen arguments of lsmtp_send_mail with plain defaults, so that a
// test names only what it cares about.
#pragma once

#include "lsmtp.h"
#include "submit/request.h"

namespace lsmtp::test {

struct MailCall {
    const char *smtp_host = "127.0.0.1";
    const char *subject = "Test subject";
    const char *body = nullptr;
    const char *from_addr = "sender@example.test";
    const char *from_header = nullptr;
    const char *to_list = "to@example.test";
    const char *to_header = nullptr;
    const char *cc_list = "";
    const char *cc_header = nullptr;
    const char *bcc_list = "";
    const char *bcc_header = nullptr;
    const char *reply_to = nullptr;
    const char *receipt_to = nullptr;
    const char *comments = "";
    const char *mailer = nullptr;
    const char *attachments = nullptr;

    MailArguments arguments() const
    {
        return {smtp_host, subject,  body,       from_addr, from_header, to_list,   to_header, cc_list,
                cc_header, bcc_list, bcc_header, reply_to,  receipt_to,  comments,  mailer,    attachments};
    }

    int send() const
    {
        return lsmtp_send_mail(smtp_host, subject, body, from_addr, from_header, to_list, to_header, cc_list,
                               cc_header, bcc_list, bcc_header, reply_to, receipt_to, comments, mailer, attachments);
    }

    int send(char *result_text, int result_text_size) const
    {
        return lsmtp_send_mail_ex(smtp_host, subject, body, from_addr, from_header, to_list, to_header, cc_list,
                                  cc_header, bcc_list, bcc_header, reply_to, receipt_to, comments, mailer, attachments,
                                  result_text, result_text_size);
    }
};

// The defaults with one change, for tables of calls.
MailCall with(auto change)
{
    MailCall call;
    change(call);
    return call;
}

} // namespace lsmtp::test
