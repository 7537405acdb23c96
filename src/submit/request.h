// One call's arguments, read once into a checked record of our own.
//
// Every rule about an argument lives in request.cpp: NULL read as "", list
// splitting and trimming, "Name <addr>", the refusals of unsafe text, the
// header lines and their folds, the attachments' names and the check that
// they can be read. What comes after (the message's composition and the
// dialogue) reads the record and never a caller's argument. Text the record
// takes as it is (the envelope addresses, the body) it does not copy but
// views where the caller keeps it, which the call's contract leaves
// untouched until it returns.
#pragma once

#include "base/outcome.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// The sixteen arguments of lsmtp_send_mail as the caller passed them.
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

// Both point into the caller's list.
struct Recipient {
    std::string_view address; // offered in RCPT TO
    std::string_view written; // the list's item as the caller wrote it, trimmed
};

struct Attachment {
    std::string path; // the caller's bytes: what is opened
    std::string name; // the name the reader sees, taken on entry (UTF-8)
};

// Text for the message (not the envelope) as taken on entry: read where
// the caller keeps it, not copied, unless it had to be converted (on
// Windows, text in the ANSI code page becomes UTF-8).
struct EntryText {
    std::optional<std::string> converted;
    std::string_view caller;
    // The caller's text is ASCII: nothing was converted, and nothing needs
    // a charset.
    bool ascii = false;

    std::string_view text() const { return converted ? std::string_view(*converted) : caller; }
    operator std::string_view() const { return text(); }
    bool empty() const { return text().empty(); }
};

struct Request {
    std::string host;
    // The envelope sender, in the caller's from_addr; empty for the null
    // reverse path "MAIL FROM:<>".
    std::string_view sender;
    // To, then Cc, then Bcc recipients, in the order written.
    std::vector<Recipient> recipients;
    // Finished header lines, each ending in CR LF: To up to X-Mailer (before
    // the MIME lines), then from `text_lines_at` Comments and Subject (after
    // them).
    std::string header_lines;
    std::size_t text_lines_at = 0;

    std::string_view address_lines() const { return std::string_view(header_lines).substr(0, text_lines_at); }
    std::string_view text_lines() const { return std::string_view(header_lines).substr(text_lines_at); }
    // The body as taken on entry.
    EntryText body;
    std::vector<Attachment> attachments;
};

// Reads and checks the arguments into `request`. Code 0 when the call may
// go on; otherwise SMTP_ERR_ARGUMENT with Step::arguments, the argument's
// name as subject and the rule it broke (nothing is sent), or SMTP_ERR_ATTACH_OPEN
// with Step::attachment, the path and the system's word.
Outcome read_request(const MailArguments &args, Request &request);

// Why a piece is no envelope address.
enum class AddressFault {
    none,
    control_character,
    group,              // a ":" outside angle brackets and domain literals
    unclosed_quote,
    second_open_angle,  // "<" inside angle brackets
    stray_close_angle,  // ">" before any "<"
    unclosed_angle,
    text_after_address, // anything after ">"
    unsafe_address,     // the address holds "<", ">" or white space
};

// The envelope address a recipient piece or the sender stands for:
// "Display Name <addr>" and "\"Quoted, Name\" <addr>" (as pasted from a To
// line) and "<addr>" give addr, anything else is the address itself (a bare
// local part such as "postmaster" included). Parentheses are ordinary
// characters here. A fault for a group, unbalanced quotes or brackets, text
// after ">", and an address holding "<", ">", white space or a control
// character, any of which would let the text leave the angle brackets of
// MAIL FROM or RCPT TO (or add parameters).
AddressFault envelope_address(std::string_view piece, std::string_view &address);

} // namespace lsmtp
