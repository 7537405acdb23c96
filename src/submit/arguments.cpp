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

} // namespace

int check_arguments(const MailArguments &args)
{
    if (!required_present(args) || !envelope_safe(args))
        return SMTP_ERR_ARGUMENT;
    return 0;
}

} // namespace lsmtp
