#include "submit/arguments.h"

#include "encode/header_text.h"
#include "lsmtp.h"
#include "text/text.h"

#include <string_view>

namespace lsmtp {
namespace {

bool required_present(const MailArguments &args)
{
    return args.smtp_host != nullptr && args.from_addr != nullptr && args.to_list != nullptr;
}

bool is_control(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool envelope_safe(const MailArguments &args)
{
    std::string_view address;
    // The empty sender is the null reverse path, "MAIL FROM:<>".
    if (args.from_addr[0] != '\0' && !envelope_address(args.from_addr, address))
        return false;
    for (const char *list : {args.to_list, args.cc_list, args.bcc_list}) {
        for (std::string_view piece : split_address_list(list)) {
            if (!envelope_address(piece, address))
                return false;
        }
    }
    return true;
}

// A line break inside a header value is allowed only as a fold onto text:
// CR LF, white space, then something else on that line. Anything else
// would start a header (or the body) of the caller's making; a line of
// white space alone reads as the end of the header block to many parsers.
bool header_value_safe(const char *value) { return value == nullptr || line_breaks_are_folds(value); }

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
            if (is_control(c))
                return false;
        }
    }
    return true;
}

} // namespace

MailArguments with_empty_for_null(const MailArguments &args)
{
    MailArguments filled = args;
    for (const char **optional : {&filled.subject, &filled.body, &filled.from_header, &filled.to_header,
                                  &filled.cc_list, &filled.cc_header, &filled.bcc_list, &filled.bcc_header,
                                  &filled.reply_to, &filled.receipt_to, &filled.comments, &filled.mailer,
                                  &filled.attachments}) {
        if (*optional == nullptr)
            *optional = "";
    }
    return filled;
}

bool envelope_address(std::string_view piece, std::string_view &address)
{
    // The display name is dropped, but a line break in it would still end
    // the To or Cc line written from the list.
    for (const char c : piece) {
        if (is_control(c))
            return false;
    }
    address = piece;
    if (!piece.empty() && piece.back() == '>') {
        const std::size_t open = piece.rfind('<');
        if (open != std::string_view::npos)
            address = piece.substr(open + 1, piece.size() - open - 2);
    }
    for (const char c : address) {
        if (c == '<' || c == '>' || is_white_space(c))
            return false;
    }
    return true;
}

int check_arguments(const MailArguments &args, const std::vector<std::string> &attachment_paths)
{
    if (!required_present(args) || !envelope_safe(args) || !headers_safe(args) ||
        !attachment_names_safe(attachment_paths))
        return SMTP_ERR_ARGUMENT;
    return 0;
}

} // namespace lsmtp
