#include "submit/header_block.h"

#include "encode/date_header.h"
#include "lsmtp.h"
#include "text/text.h"

#include <string>
#include <string_view>

namespace lsmtp {
namespace {

const char *either(const char *preferred, const char *fallback) { return given(preferred) ? preferred : fallback; }

// One header line: label, value, CR LF.
bool write_field(DataWriter &writer, std::string &line, std::string_view label, std::string_view value)
{
    return writer.write(concat_into(line, label, value, "\r\n"));
}

// A header value written from an address list: its trimmed pieces joined
// by ", ", so that line breaks around the pieces stay out of the header.
std::string joined_list(const char *list)
{
    std::string joined;
    if (!given(list))
        return joined;
    for (std::string_view piece : split_address_list(list))
        concat_append(joined, joined.empty() ? "" : ", ", piece);
    return joined;
}

// A Cc or Bcc line: the header value when given, else the list; no line
// when neither is given. The Bcc line never falls back to the list: every
// recipient reads the header, and blind copies must stay blind.
bool write_copy_field(DataWriter &writer, std::string &line, std::string_view label, const char *header,
                      const char *list)
{
    const std::string value = given(header) ? std::string(header) : joined_list(list);
    return value.empty() || write_field(writer, line, label, value);
}

std::string &reply_to_line(std::string &line, const MailArguments &args)
{
    const std::string_view value = either(args.reply_to, args.from_addr);
    // A value that already carries angle brackets ("Name <a@b>") stays as
    // it is; a bare address gets them.
    if (value.find('<') != std::string_view::npos && value.find('>') != std::string_view::npos)
        return concat_into(line, "Reply-To:", value, "\r\n");
    return concat_into(line, "Reply-To:<", value, ">\r\n");
}

std::string &mime_group(std::string &line, const MailArguments &args)
{
    line.clear();
    if (given(args.receipt_to))
        concat_append(line, "Return-Receipt-To:", "<", args.receipt_to, ">\r\n");
    if (given(args.mailer))
        concat_append(line, "X-Mailer: ", args.mailer, "\r\n");
    else
        concat_append(line, "X-Mailer: lumetra mail library\r\n");
    return concat_append(line, "MIME-Version: 1.0\r\n", "Content-Type: Multipart/Mixed; boundary=",
                         message_boundary, "\r\n");
}

} // namespace

int write_header_block(DataWriter &writer, const MailArguments &args)
{
    std::string line;
    const char *sender = either(args.from_header, args.from_addr);
    const bool written =
        writer.write(concat_into(line, "Date: ", date_header_now(), " \r\n")) &&
        write_field(writer, line, "To:", given(args.to_header) ? args.to_header : joined_list(args.to_list)) &&
        writer.write(reply_to_line(line, args)) &&
        write_field(writer, line, "Sender:", sender) &&
        write_field(writer, line, "From:", sender) &&
        write_copy_field(writer, line, "Cc:", args.cc_header, args.cc_list) &&
        write_copy_field(writer, line, "Bcc:", args.bcc_header, nullptr) &&
        writer.write(mime_group(line, args)) &&
        write_field(writer, line, "Comments:", args.comments) &&
        write_field(writer, line, "Subject:", args.subject);
    return written ? 0 : SMTP_ERR_WRITE;
}

} // namespace lsmtp
