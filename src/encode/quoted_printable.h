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

// The same encoding a piece at a time: appends the encoding of the text
// from `from` on to `out`, stopping at the end of the text or right after
// the first line break (hard or soft) at which `out` holds `budget` bytes
// or more. Returns where the next piece starts; a text is encoded whole by
// going on from there until the text's size is returned.
std::size_t encode_quoted_printable_piece(std::string_view text, std::size_t from, std::string &out,
                                          std::size_t budget);

// Hands `take` the encoding of `text` in pieces of about 16 KB, each ending
// where an encoded line ends, until `take` returns false; never the whole
// encoding at once.
template <typename Take>
void for_each_quoted_piece(std::string_view text, Take &&take)
{
    constexpr std::size_t piece_size = 16 * 1024;
    std::string piece;
    for (std::size_t at = 0; at < text.size();) {
        piece.clear();
        at = encode_quoted_printable_piece(text, at, piece, piece_size);
        if (!take(std::string_view(piece)))
            return;
    }
}

} // namespace lsmtp
