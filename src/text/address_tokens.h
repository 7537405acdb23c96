// The one lexer of address syntax (RFC 5322, sections 3.2 and 3.4): quoted
// strings with their backslash escapes, comments, angle brackets, domain
// literals, and the colon and separators of lists and groups. It knows no
// context: what a bracket or colon means where it stands is its caller's
// rule.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace lsmtp {

enum class TokenKind : char {
    text = 't',          // a run of anything else: atoms, "@", ".", white space
    quoted = '"',        // "..." with its quotes; "\" escapes the next character
    comment = '(',       // (...) with its parentheses; comments nest, "\" escapes
    open_angle = '<',
    close_angle = '>',
    open_literal = '[',  // a domain literal, "[IPv6:...]"
    close_literal = ']',
    colon = ':',         // ends a group's name
    separator = ',',     // "," or ";": between list items, and ";" ends a group
};

struct AddressToken {
    TokenKind kind;
    std::size_t begin, end;
    // False for a quoted string or comment that the text ends inside (it
    // then runs to the end).
    bool closed;
};

// Whether "(" opens a comment. The envelope reader and the list splitter
// take parentheses as ordinary characters; the header encoder reads
// comments.
enum class Parentheses { text, comments };

// The token that starts at `at` (< text.size()); the next starts at its
// end. Reading one at a time keeps no list of them.
AddressToken address_token_at(std::string_view text, std::size_t at, Parentheses parentheses);

// The tokens of `text`, in order and covering it whole.
std::vector<AddressToken> address_tokens(std::string_view text, Parentheses parentheses);

} // namespace lsmtp
