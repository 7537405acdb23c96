// UTF-8 as the library shows and cuts it: whole characters, and the bytes
// that are none written readably.
#pragma once

#include "text/text.h"

#include <cstddef>
#include <string_view>

namespace lsmtp {

// The size of the well-formed UTF-8 sequence (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF) that starts at `at`, else 0.
std::size_t utf8_sequence(std::string_view text, std::size_t at);

// The bytes of the character that starts at `at`: a whole UTF-8 sequence
// when `utf8`, one byte otherwise (and for a byte that starts no sequence).
std::size_t character_size(std::string_view text, std::size_t at, bool utf8);

// The longest front of `text` of at most `limit` bytes that does not end
// inside a UTF-8 sequence (it backs off over continuation bytes).
std::size_t utf8_cut(std::string_view text, std::size_t limit);

// Hands `take` the text as it may be shown on a terminal or in a log, one
// piece at a time: each whole UTF-8 character as it is; each C0 or C1
// control character (U+0080 to U+009F are valid UTF-8, and terminals obey
// them), DEL, and each byte that is not UTF-8 as "\xNN" per byte.
template <typename Take>
void for_each_readable(std::string_view text, Take &&take)
{
    for (std::size_t at = 0; at < text.size();) {
        // Printable ASCII, most of any reply, goes in runs.
        std::size_t printable = at;
        while (printable < text.size() && text[printable] >= 0x20 && text[printable] < 0x7F)
            ++printable;
        if (printable > at) {
            take(text.substr(at, printable - at));
            at = printable;
            continue;
        }
        const std::size_t size = character_size(text, at, true);
        const auto lead = static_cast<unsigned char>(text[at]);
        const bool c1 = size == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (lead < 0x20 || lead == 0x7F || (lead >= 0x80 && size == 1) || c1) {
            for (std::size_t i = at; i < at + size; ++i) {
                const auto byte = static_cast<unsigned char>(text[i]);
                const char escape[4] = {'\\', 'x', hex_digits[byte >> 4], hex_digits[byte & 0xF]};
                take(std::string_view(escape, sizeof escape));
            }
        } else {
            take(text.substr(at, size));
        }
        at += size;
    }
}

} // namespace lsmtp
