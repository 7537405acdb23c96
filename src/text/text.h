// Small string helpers shared by the whole library.
#pragma once

#include "text/address_tokens.h"

#include <string>
#include <string_view>
#include <vector>

namespace lsmtp {

// Empties `destination`, then appends every part in order.
template <typename... Parts>
std::string &concat_into(std::string &destination, const Parts &...parts)
{
    destination.clear();
    (destination.append(std::string_view(parts)), ...);
    return destination;
}

// Appends every part, in order, to the text already in `destination`.
template <typename... Parts>
std::string &concat_append(std::string &destination, const Parts &...parts)
{
    (destination.append(std::string_view(parts)), ...);
    return destination;
}

// A new string of every part in order. Unlike a chain of operator+, it
// sizes nothing twice, and g++ 12 raises no false -Wrestrict over it.
template <typename... Parts>
std::string concat(const Parts &...parts)
{
    std::string joined;
    return concat_append(joined, parts...);
}

inline constexpr char hex_digits[] = "0123456789ABCDEF";

// Appends `escape` and the byte as two upper-case hex digits: "=3D" in
// quoted-printable and "Q" words, "%3D" in RFC 2231 parameter values.
void append_hex_escape(std::string &out, char escape, unsigned char byte);

// The position of the first CR or LF in `text` at or after `from`, or npos.
// One pass per character sought (find_first_of searches the set once per
// character of the text).
std::size_t find_line_break(std::string_view text, std::size_t from = 0);

// White space is space, tab, LF, VT, FF and CR, whatever the locale.
inline bool is_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// ASCII control characters: C0 and DEL.
inline bool is_control(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether a port is written after the host: "127.0.0.2:587",
// "mail.example.org:25", "[::1]:25". A bare IPv6 address is full of colons
// and never counts.
bool host_has_port(std::string_view host);

// What separates folders in a path: "/", and on Windows "\" too.
#if defined(_WIN32)
inline constexpr std::string_view folder_separators = "/\\";
#else
inline constexpr std::string_view folder_separators = "/";
#endif

// The part of a path after its last folder separator; the whole path when
// it has none, empty text when the path ends in one.
std::string_view path_base_name(std::string_view path);

// Splits a list on "," and ";" and trims white space off every piece (a
// list read from a file may end in a line break). Pieces left empty are
// skipped; the pieces point into `list`.
std::vector<std::string_view> split_plain_list(std::string_view list);

// The text without the white space at either end.
std::string_view trimmed(std::string_view text);

// Splits an address list as split_plain_list does, except that a "," or
// ";" inside a quoted string ("Doe, Jane", backslash escapes honoured) or
// inside angle brackets does not separate: RFC 5322 writes lists so.
// Hands each piece to `take` in order, keeping no list, until `take`
// returns false; returns whether every piece was taken.
template <typename Take>
bool for_each_address_piece(std::string_view list, Take &&take)
{
    std::size_t start = 0;
    bool bracketed = false;
    for (std::size_t at = 0; at < list.size();) {
        const AddressToken token = address_token_at(list, at, Parentheses::text);
        at = token.end;
        if (token.kind == TokenKind::open_angle || token.kind == TokenKind::close_angle) {
            bracketed = token.kind == TokenKind::open_angle;
        } else if (token.kind == TokenKind::separator && !bracketed) {
            const std::string_view piece = trimmed(list.substr(start, token.begin - start));
            if (!piece.empty() && !take(piece))
                return false;
            start = token.end;
        }
    }
    const std::string_view last = trimmed(list.substr(start));
    return last.empty() || take(last);
}

std::vector<std::string_view> split_address_list(std::string_view list);

} // namespace lsmtp
