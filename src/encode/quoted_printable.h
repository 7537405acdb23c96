// Quoted-printable text (RFC 2045, section 6.7), for body text whose lines
// are too long to send as they are.
#pragma once

#include <string>
#include <string_view>

namespace lsmtp {

// RFC 5321, section 4.5.3.1.6: a text line holds at most 998 characters
// before its CR LF.
inline constexpr std::size_t max_text_line = 998;

// True when some line of `text` (lines end at CR LF, a bare CR or a bare LF)
// is longer than max_text_line.
bool has_overlong_line(std::string_view text);

// Encodes text as quoted-printable with lines of at most 76 characters.
// CR LF, a bare CR and a bare LF each become a hard line break, CR LF.
std::string encode_quoted_printable(std::string_view text);

} // namespace lsmtp
