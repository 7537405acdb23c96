// Which character set a caller's text is in, decided from its bytes alone
// (never from the process's locale).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lsmtp {

bool is_ascii(std::string_view text);

// Well-formed UTF-8 (RFC 3629): no overlong forms, no surrogates, nothing
// above U+10FFFF.
bool is_utf8(std::string_view text);

// The MIME label of non-ASCII text: "UTF-8" when it is UTF-8; otherwise a
// single-byte set: "windows-1252" when it holds 0x80-0x9F (control codes in
// Latin-1, but curly quotes and the euro sign there), else "ISO-8859-1".
std::string_view charset_of(std::string_view text);

// The bytes of the character that starts at `at`: a whole UTF-8 sequence
// when `utf8`, one byte otherwise (and for a byte that starts no sequence).
std::size_t character_size(std::string_view text, std::size_t at, bool utf8);

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
                constexpr char digits[] = "0123456789ABCDEF";
                const auto byte = static_cast<unsigned char>(text[i]);
                const char escape[4] = {'\\', 'x', digits[byte >> 4], digits[byte & 0xF]};
                take(std::string_view(escape, sizeof escape));
            }
        } else {
            take(text.substr(at, size));
        }
        at += size;
    }
}

// Text as it is taken on entry: unchanged when ASCII or UTF-8; other text
// in the system's code page (Windows) converted to UTF-8. Empty when
// nothing changes.
std::optional<std::string> utf8_on_entry(std::string_view text);

} // namespace lsmtp
