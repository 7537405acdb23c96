#include "submit/header_block.h"

#include "encode/date_header.h"
#include "encode/header_text.h"
#include "submit/message_id.h"
#include "text/text.h"

#include <string>
#include <string_view>

namespace lsmtp {
namespace {

const char *either(const char *preferred, const char *fallback) { return given(preferred) ? preferred : fallback; }

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

// The block so far; the first value refused leaves it refused.
struct Block {
    std::string text;
    bool refused = false;

    void add(std::string_view label, std::string_view value, HeaderKind kind)
    {
        if (refused)
            return;
        const std::optional<std::string> lines = header_lines(label, value, kind);
        refused = !lines;
        if (lines)
            text += *lines;
    }
};

std::string reply_to_value(const MailArguments &args)
{
    const std::string_view value = either(args.reply_to, args.from_addr);
    // A value that already carries angle brackets ("Name <a@b>") stays as
    // it is; a bare address gets them.
    if (value.find('<') != std::string_view::npos && value.find('>') != std::string_view::npos)
        return std::string(value);
    return concat("<", value, ">");
}

} // namespace

std::optional<std::string> compose_header_block(const MailArguments &args, std::string_view boundary)
{
    constexpr HeaderKind addresses = HeaderKind::addresses;
    Block block;
    concat_append(block.text, "Date: ", date_header_now(), " \r\n", "Message-ID: ",
                  message_id(args.from_addr, next_unique_parts()), "\r\n");
    block.add("To:", given(args.to_header) ? args.to_header : joined_list(args.to_list), addresses);
    block.add("Reply-To:", reply_to_value(args), addresses);
    const char *sender = either(args.from_header, args.from_addr);
    block.add("Sender:", sender, addresses);
    block.add("From:", sender, addresses);
    // The Bcc line never comes from the list: every recipient reads the
    // header, and blind copies must stay blind.
    const std::string copies = given(args.cc_header) ? std::string(args.cc_header) : joined_list(args.cc_list);
    if (!copies.empty())
        block.add("Cc:", copies, addresses);
    if (given(args.bcc_header))
        block.add("Bcc:", args.bcc_header, addresses);
    if (given(args.receipt_to))
        block.add("Return-Receipt-To:", concat("<", args.receipt_to, ">"), addresses);
    block.add("X-Mailer: ", either(args.mailer, "lumetra mail library"), HeaderKind::unstructured);
    concat_append(block.text, "MIME-Version: 1.0\r\n", "Content-Type: Multipart/Mixed; boundary=", boundary, "\r\n");
    block.add("Comments:", args.comments, HeaderKind::unstructured);
    block.add("Subject:", args.subject, HeaderKind::unstructured);
    if (block.refused)
        return std::nullopt;
    return std::move(block.text);
}

} // namespace lsmtp
