#include "submit/arguments.h"

#include "lsmtp.h"
#include "text/text.h"

#include <string_view>

namespace lsmtp {
namespace {

bool required_present(const MailArguments &args)
{
    for (const char *required : {args.smtp_host, args.subject, args.from_addr, args.to_list, args.cc_list,
                                 args.bcc_list, args.comments}) {
        if (required == nullptr)
            return false;
    }
    return true;
}

// Envelope addresses go inside command lines: a line break would end the
// command early and let the rest of the text become a command of its own.
bool envelope_safe(const MailArguments &args)
{
    if (has_line_break(args.from_addr))
        return false;
    for (const char *list : {args.to_list, args.cc_list, args.bcc_list}) {
        if (has_line_break(list))
            return false;
    }
    return true;
}

// A line break inside a header value is allowed only as a fold: CR LF
// followed by a space or a tab continues the same header line. Anything else
// would start a header (or the body) of the caller's making.
bool header_value_safe(const char *value)
{
    if (value == nullptr)
        return true;
    const std::string_view text = value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            return false;
        if (text[i] == '\r') {
            const bool folds = i + 2 < text.size() && text[i + 1] == '\n' && (text[i + 2] == ' ' || text[i + 2] == '\t');
            if (!folds)
                return false;
            ++i;
        }
    }
    return true;
}

bool headers_safe(const MailArguments &args)
{
    for (const char *value : {args.subject, args.comments, args.to_header, args.cc_header, args.bcc_header,
                              args.from_header, args.reply_to, args.receipt_to, args.mailer}) {
        if (!header_value_safe(value))
            return false;
    }
    return true;
}

// File names go into the part headers.
bool attachment_names_safe(const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        for (const char c : path_base_name(path)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F)
                return false;
        }
    }
    return true;
}

} // namespace

int check_arguments(const MailArguments &args, const std::vector<std::string> &attachment_paths)
{
    if (!required_present(args) || !envelope_safe(args) || !headers_safe(args) ||
        !attachment_names_safe(attachment_paths))
        return SMTP_ERR_ARGUMENT;
    return 0;
}

} // namespace lsmtp
