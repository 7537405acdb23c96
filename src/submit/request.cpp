#include "submit/request.h"

#include "base/wire_text.h"
#include "encode/charset.h"
#include "encode/header_text.h"
#include "lsmtp.h"
#include "platform/file.h"
#include "platform/system_text.h"
#include "text/address_tokens.h"
#include "text/text.h"

#include <optional>

namespace lsmtp {
namespace {

Outcome refused(std::string_view argument) { return stopped(SMTP_ERR_ARGUMENT, Step::arguments, argument); }

// NULL and "" mean the same for every optional argument.
std::string_view text_of(const char *argument) { return argument == nullptr ? std::string_view() : argument; }

// Text for the message (not the envelope) as taken on entry: on Windows,
// text in the ANSI code page becomes UTF-8.
std::string on_entry(const char *argument)
{
    const std::string_view text = text_of(argument);
    std::optional<std::string> utf8 = utf8_on_entry(text);
    return utf8 ? std::move(*utf8) : std::string(text);
}

// A header value written from a list: its trimmed pieces joined by ", ",
// so that line breaks around the pieces stay out of the header.
std::string joined(const std::vector<Recipient> &recipients, std::size_t first, std::size_t end)
{
    std::string text;
    for (std::size_t i = first; i < end; ++i)
        concat_append(text, text.empty() ? "" : ", ", recipients[i].written);
    return text;
}

// An address header's value from an address list as the caller wrote it:
// a bare address gets angle brackets, "Name <a@b>" stays as written, the
// items of a list are joined by ", ". Empty when an item is not an address.
std::optional<std::string> address_header_value(std::string_view list)
{
    std::string value;
    const std::vector<std::string_view> pieces = split_address_list(list);
    // No address at all is the null address, as the empty sender is.
    if (pieces.empty())
        return "<>";
    for (const std::string_view piece : pieces) {
        std::string_view address;
        if (envelope_address(piece, address) != AddressFault::none)
            return std::nullopt;
        value.append(value.empty() ? "" : ", ");
        if (address.size() == piece.size())
            value.append("<").append(piece).append(">");
        else
            value.append(piece);
    }
    return value;
}

// The header lines so far; the first value refused names its argument.
struct Lines {
    std::string &text;
    std::string_view refused_argument;

    void add(std::string_view label, std::string_view value, HeaderKind kind, std::string_view argument)
    {
        if (!refused_argument.empty())
            return;
        if (const std::optional<std::string> lines = header_lines(label, value, kind))
            text += *lines;
        else
            refused_argument = argument;
    }

    void add_addresses(std::string_view label, std::string_view list, std::string_view argument)
    {
        if (const std::optional<std::string> value = address_header_value(list))
            add(label, *value, HeaderKind::addresses, argument);
        else if (refused_argument.empty())
            refused_argument = argument;
    }
};

// Splits one recipient list into `recipients`; false when a piece would be
// unsafe as an envelope address.
bool read_recipients(std::string_view list, std::vector<Recipient> &recipients)
{
    for (const std::string_view piece : split_address_list(list)) {
        std::string_view address;
        if (envelope_address(piece, address) != AddressFault::none)
            return false;
        recipients.push_back(Recipient{std::string(address), std::string(piece)});
    }
    return true;
}

// The attachments: opened by the caller's bytes, named after the pieces
// taken on entry. The converted list splits as the caller's does (no code
// page puts "," or ";" inside a character); should it not, the names come
// from the caller's bytes.
std::vector<Attachment> read_attachments(const char *argument)
{
    std::vector<Attachment> attachments;
    const std::string converted = on_entry(argument);
    const std::vector<std::string_view> paths = split_plain_list(text_of(argument));
    const std::vector<std::string_view> names = split_plain_list(converted);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string_view named = names.size() == paths.size() ? names[i] : paths[i];
        attachments.push_back(Attachment{std::string(paths[i]), std::string(path_base_name(named))});
    }
    return attachments;
}

Outcome read_headers(const MailArguments &args, const std::vector<Recipient> &recipients,
                     std::size_t to_count, std::size_t cc_end, Request &request)
{
    constexpr HeaderKind addresses = HeaderKind::addresses;
    const std::string to_header = on_entry(args.to_header);
    const std::string cc_header = on_entry(args.cc_header);
    const std::string bcc_header = on_entry(args.bcc_header);
    const std::string from_header = on_entry(args.from_header);
    const std::string reply_to = on_entry(args.reply_to);
    const std::string receipt_to = on_entry(args.receipt_to);
    const std::string mailer = on_entry(args.mailer);
    const std::string_view from_addr = args.from_addr;

    Lines lines{request.address_lines, {}};
    if (!to_header.empty())
        lines.add("To:", to_header, addresses, "to_header");
    else
        lines.add("To:", joined(recipients, 0, to_count), addresses, "to_list");
    lines.add_addresses("Reply-To:", reply_to.empty() ? from_addr : reply_to,
                        reply_to.empty() ? "from_addr" : "reply_to");
    const std::string_view sender = from_header.empty() ? from_addr : from_header;
    const std::string_view sender_argument = from_header.empty() ? "from_addr" : "from_header";
    lines.add("Sender:", sender, addresses, sender_argument);
    lines.add("From:", sender, addresses, sender_argument);
    // The Bcc line never comes from the list: every recipient reads the
    // header, and blind copies must stay blind.
    if (!cc_header.empty())
        lines.add("Cc:", cc_header, addresses, "cc_header");
    else if (cc_end > to_count)
        lines.add("Cc:", joined(recipients, to_count, cc_end), addresses, "cc_list");
    if (!bcc_header.empty())
        lines.add("Bcc:", bcc_header, addresses, "bcc_header");
    if (!receipt_to.empty())
        lines.add_addresses("Return-Receipt-To:", receipt_to, "receipt_to");
    lines.add(wire::mailer_label, mailer.empty() ? wire::default_mailer : std::string_view(mailer),
              HeaderKind::unstructured, "mailer");
    Lines texts{request.text_lines, lines.refused_argument};
    texts.add("Comments:", on_entry(args.comments), HeaderKind::unstructured, "comments");
    texts.add("Subject:", on_entry(args.subject), HeaderKind::unstructured, "subject");
    return texts.refused_argument.empty() ? Outcome{} : refused(texts.refused_argument);
}

} // namespace

AddressFault envelope_address(std::string_view piece, std::string_view &address)
{
    // The display name is dropped, but a line break in it would still end
    // the To or Cc line written from the list.
    for (const char c : piece) {
        if (is_control(c))
            return AddressFault::control_character;
    }
    // "Name <addr>", "\"Quoted, Name\" <addr>", "<addr>" or the bare address:
    // one pair of angle brackets outside quoted strings, ending the piece.
    constexpr std::size_t none = std::string_view::npos;
    std::size_t open = none;
    std::size_t close = none;
    bool literal = false;
    for (const AddressToken &token : address_tokens(piece, Parentheses::text)) {
        if (close != none)
            return AddressFault::text_after_address;
        if (token.kind == TokenKind::quoted && !token.closed)
            return AddressFault::unclosed_quote;
        if (token.kind == TokenKind::open_literal || token.kind == TokenKind::close_literal)
            literal = token.kind == TokenKind::open_literal;
        if (token.kind == TokenKind::colon && open == none && !literal)
            return AddressFault::group;
        if (token.kind == TokenKind::open_angle && open != none)
            return AddressFault::second_open_angle;
        if (token.kind == TokenKind::close_angle && open == none)
            return AddressFault::stray_close_angle;
        if (token.kind == TokenKind::open_angle)
            open = token.end;
        if (token.kind == TokenKind::close_angle)
            close = token.begin;
    }
    if (open != none && close == none)
        return AddressFault::unclosed_angle;
    address = open == none ? piece : piece.substr(open, close - open);
    for (const char c : address) {
        if (c == '<' || c == '>' || is_white_space(c))
            return AddressFault::unsafe_address;
    }
    return AddressFault::none;
}

Outcome read_request(const MailArguments &args, Request &request)
{
    for (const auto &[argument, name] : {std::pair{args.smtp_host, "smtp_host"}, std::pair{args.from_addr, "from_addr"},
                                         std::pair{args.to_list, "to_list"}}) {
        if (argument == nullptr)
            return refused(name);
    }
    request.host = args.smtp_host;
    std::string_view sender;
    // The empty sender is the null reverse path, "MAIL FROM:<>".
    if (args.from_addr[0] != '\0' && envelope_address(args.from_addr, sender) != AddressFault::none)
        return refused("from_addr");
    request.sender = sender;

    // The envelope takes the lists as given; only message text is converted.
    if (!read_recipients(args.to_list, request.recipients))
        return refused("to_list");
    const std::size_t to_count = request.recipients.size();
    if (!read_recipients(text_of(args.cc_list), request.recipients))
        return refused("cc_list");
    const std::size_t cc_end = request.recipients.size();
    if (!read_recipients(text_of(args.bcc_list), request.recipients))
        return refused("bcc_list");

    request.attachments = read_attachments(args.attachments);
    // File names go into the part headers.
    for (const Attachment &attachment : request.attachments) {
        for (const char c : path_base_name(attachment.path)) {
            if (is_control(c))
                return refused("attachments");
        }
    }
    if (Outcome header_refusal = read_headers(args, request.recipients, to_count, cc_end, request); header_refusal.code)
        return header_refusal;
    request.body = on_entry(args.body);

    // Checked before connecting, so that a missing file sends nothing (a
    // file can still fail later, with the same code).
    for (const Attachment &attachment : request.attachments) {
        if (platform::OpenedFile opened = platform::open_for_reading(attachment.path); !opened.file.valid())
            return stopped(SMTP_ERR_ATTACH_OPEN, Step::attachment, attachment.path, std::move(opened.failure.text));
    }
    return {};
}

} // namespace lsmtp
