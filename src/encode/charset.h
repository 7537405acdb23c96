// Which character set a caller's text is in, decided from its bytes alone
// (never from the process's locale).
#pragma once

#include "text/utf8.h"

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

// Text as it is taken on entry: unchanged when ASCII or UTF-8; other text
// in the system's code page (Windows) converted to UTF-8. Empty when
// nothing changes.
std::optional<std::string> utf8_on_entry(std::string_view text);

} // namespace lsmtp
