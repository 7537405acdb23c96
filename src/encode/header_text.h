// Header lines from the caller's values: RFC 2047 for non-ASCII text,
// folding for lines too long for RFC 5322, refusal of what would break the
// header block.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lsmtp {

// RFC 5322, section 2.1.1: lines of at most 998 characters, and of at most
// 78 where the text allows.
inline constexpr std::size_t max_header_line = 998;
inline constexpr std::size_t folded_header_line = 78;
// RFC 2047, section 2: a line that carries an encoded-word is at most 76.
inline constexpr std::size_t encoded_header_line = 76;

enum class HeaderKind {
    unstructured, // Subject, Comments, X-Mailer: free text
    addresses,    // From, To, Cc, ...: addresses, display names, comments
};

// True when every line break in `value` is a fold onto text: CR LF, white
// space, then something other than white space on that line.
bool line_breaks_are_folds(std::string_view value);

// Why a value cannot go into the header block.
enum class HeaderFault {
    none,
    line_break_not_fold, // a line break that is not a fold onto text
    control_in_address,  // a control character in an address itself
    cannot_fold,         // an address item that cannot be read, or lines beyond max_header_line
};

// Appends the finished header line(s) for `label` (written as given, e.g.
// "Subject:") and the caller's value to `lines`, each line ending in CR LF.
//
// An ASCII value without control characters (tab and folds aside) whose
// lines fit in max_header_line comes out unchanged. Otherwise the caller's
// folds are undone and the value is written again: unstructured text folds
// at its own white space, or, when it holds non-ASCII or control
// characters or cannot fold short enough, becomes encoded-words; in
// address headers the display names and comments holding either become
// encoded-words and the value folds after commas and at white space
// outside quotes and angle brackets. Lines that carry an encoded-word stay
// within encoded_header_line, others within folded_header_line where the
// text allows. Addresses themselves are never changed, so a non-ASCII
// address stays 8-bit.
//
// A fault refuses the value and leaves `lines` as it was: a line break
// that is not a fold, an address item that needs encoding but cannot be
// parsed, an address holding a control character, or an address header
// that cannot be folded into lines of max_header_line.
HeaderFault header_lines(std::string_view label, std::string_view value, HeaderKind kind, std::string &lines);

} // namespace lsmtp
