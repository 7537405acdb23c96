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

// The rules an argument can break, as a refusal names them.
constexpr std::string_view null_required = "NULL, where a value is required";
constexpr std::string_view control_in_file_name = "a control character in the file name";
constexpr std::string_view line_break_not_fold = "a line break that is not a fold (CR LF, white space, then text)";
constexpr std::string_view control_in_address = "a control character in an address";
constexpr std::string_view cannot_fold = "an address that cannot be encoded or folded into lines of 998 octets";

// `item` counts a list's items from 1; 0 for an argument that is no list.
Outcome refused(std::string_view argument, std::string_view rule, std::size_t item = 0)
{
    Outcome outcome = stopped(SMTP_ERR_ARGUMENT, Step::arguments, argument);
    outcome.rule = rule;
    outcome.item = item;
    return outcome;
}

// The rule an envelope address breaks, as a refusal names it.
std::string_view rule_of(AddressFault fault)
{
    switch (fault) {
    case AddressFault::none: break;
    case AddressFault::control_character: return "a control character";
    case AddressFault::group: return "a group (a name and \":\" before the addresses)";
    case AddressFault::unclosed_quote: return "a quote left open";
    case AddressFault::second_open_angle: return "a second '<'";
    case AddressFault::stray_close_angle: return "'>' without '<'";
    case AddressFault::unclosed_angle: return "'<' without '>'";
    case AddressFault::text_after_address: return "text after '>'";
    case AddressFault::unsafe_address: return "white space, '<' or '>' in the address";
    }
    return {};
}

// The rule a header value breaks, as a refusal names it.
std::string_view rule_of(HeaderFault fault)
{
    switch (fault) {
    case HeaderFault::none: break;
    case HeaderFault::line_break_not_fold: return line_break_not_fold;
    case HeaderFault::control_in_address: return control_in_address;
    case HeaderFault::cannot_fold: return cannot_fold;
    }
    return {};
}

// Nothing that could open a name, a quote, brackets or a group, and no
// white space or control character.
bool is_bare_address(std::string_view piece)
{
    for (const char c : piece) {
        switch (c) {
        case '"': case '<': case '>': case '[': case ']': case ':': case ',': case ';': case ' ':
            return false;
        default:
            if (is_control(c))
                return false;
        }
    }
    return true;
}

// NULL and "" mean the same for every optional argument.
std::string_view text_of(const char *argument) { return argument == nullptr ? std::string_view() : argument; }

EntryText on_entry(const char *argument)
{
    const std::string_view text = text_of(argument);
    if (is_ascii(text))
        return {std::nullopt, text, true};
    return {utf8_on_entry(text), text};
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

// A list item that is no address: the rule it breaks and its number.
struct ItemRefusal {
    std::string_view rule;
    std::size_t item = 0;
};

// An address header's value, in `value`, from an address list as the
// caller wrote it: a bare address gets angle brackets, "Name <a@b>" stays
// as written, the items of a list are joined by ", ". False when an item is
// not an address, `refusal` then saying which and why.
bool address_header_value(std::string_view list, std::string &value, ItemRefusal &refusal)
{
    value.clear();
    const bool all_addresses = for_each_address_piece(list, [&](std::string_view piece) {
        std::string_view address;
        ++refusal.item;
        if (const AddressFault fault = envelope_address(piece, address); fault != AddressFault::none) {
            refusal.rule = rule_of(fault);
            return false;
        }
        if (address.size() == piece.size())
            concat_append(value, value.empty() ? "" : ", ", "<", piece, ">");
        else
            concat_append(value, value.empty() ? "" : ", ", piece);
        return true;
    });
    // No address at all is the null address, as the empty sender is.
    if (all_addresses && value.empty())
        value = "<>";
    return all_addresses;
}

// The header lines so far; the first value refused is the refusal.
struct Lines {
    std::string &text;
    Outcome refusal;
    // An address value being made, kept for the next.
    std::string value = {};

    void add(std::string_view label, std::string_view value, HeaderKind kind, std::string_view argument)
    {
        if (refusal.code != 0)
            return;
        if (const HeaderFault fault = header_lines(label, value, kind, text); fault != HeaderFault::none)
            refusal = refused(argument, rule_of(fault));
    }

    void add_addresses(std::string_view label, std::string_view list, std::string_view argument)
    {
        ItemRefusal item;
        if (address_header_value(list, value, item))
            add(label, value, HeaderKind::addresses, argument);
        else if (refusal.code == 0)
            refusal = refused(argument, item.rule, item.item);
    }
};

// Splits one recipient list into `recipients`; a refusal of `argument` when
// a piece would be unsafe as an envelope address.
Outcome read_recipients(std::string_view list, std::string_view argument, std::vector<Recipient> &recipients)
{
    std::size_t item = 0;
    AddressFault fault = AddressFault::none;
    for_each_address_piece(list, [&](std::string_view piece) {
        std::string_view address;
        ++item;
        if (fault = envelope_address(piece, address); fault != AddressFault::none)
            return false;
        recipients.push_back(Recipient{address, piece});
        return true;
    });
    return fault == AddressFault::none ? Outcome{} : refused(argument, rule_of(fault), item);
}

// The attachments: opened by the caller's bytes, named after the pieces
// taken on entry. The converted list splits as the caller's does (no code
// page puts "," or ";" inside a character); should it not, the names come
// from the caller's bytes.
std::vector<Attachment> read_attachments(const char *argument)
{
    std::vector<Attachment> attachments;
    const EntryText converted = on_entry(argument);
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
    const EntryText to_header = on_entry(args.to_header);
    const EntryText cc_header = on_entry(args.cc_header);
    const EntryText bcc_header = on_entry(args.bcc_header);
    const EntryText from_header = on_entry(args.from_header);
    const EntryText reply_to = on_entry(args.reply_to);
    const EntryText receipt_to = on_entry(args.receipt_to);
    const EntryText mailer = on_entry(args.mailer);
    const std::string_view from_addr = args.from_addr;

    // Room for the usual lines at once, rather than growing line by line.
    request.header_lines.reserve(768);
    Lines lines{request.header_lines, {}};
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
    request.text_lines_at = request.header_lines.size();
    lines.add("Comments:", on_entry(args.comments), HeaderKind::unstructured, "comments");
    lines.add("Subject:", on_entry(args.subject), HeaderKind::unstructured, "subject");
    return std::move(lines.refusal);
}

} // namespace

AddressFault envelope_address(std::string_view piece, std::string_view &address)
{
    // Most pieces are a bare address.
    if (is_bare_address(piece)) {
        address = piece;
        return AddressFault::none;
    }
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
    for (std::size_t at = 0; at < piece.size();) {
        const AddressToken token = address_token_at(piece, at, Parentheses::text);
        at = token.end;
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
            return refused(name, null_required);
    }
    request.host = args.smtp_host;
    std::string_view sender;
    // The empty sender is the null reverse path, "MAIL FROM:<>".
    if (args.from_addr[0] != '\0') {
        if (const AddressFault fault = envelope_address(args.from_addr, sender); fault != AddressFault::none)
            return refused("from_addr", rule_of(fault));
    }
    request.sender = sender;

    // The envelope takes the lists as given; only message text is converted.
    if (Outcome refusal = read_recipients(args.to_list, "to_list", request.recipients); refusal.code != 0)
        return refusal;
    const std::size_t to_count = request.recipients.size();
    if (Outcome refusal = read_recipients(text_of(args.cc_list), "cc_list", request.recipients); refusal.code != 0)
        return refusal;
    const std::size_t cc_end = request.recipients.size();
    if (Outcome refusal = read_recipients(text_of(args.bcc_list), "bcc_list", request.recipients); refusal.code != 0)
        return refusal;

    request.attachments = read_attachments(args.attachments);
    // File names go into the part headers.
    for (std::size_t i = 0; i < request.attachments.size(); ++i) {
        for (const char c : path_base_name(request.attachments[i].path)) {
            if (is_control(c))
                return refused("attachments", control_in_file_name, i + 1);
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
