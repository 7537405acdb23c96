// Conversions between narrow text and the UTF-16 that Windows calls take.
// The one place for them, so every Windows backend converts alike.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace lsmtp::platform::win32 {

// The narrow text in `code_page` (CP_UTF8, CP_ACP, ...) as UTF-16; empty
// when the text is not valid in that code page.
std::optional<std::wstring> to_utf16(std::string_view text, UINT code_page);

// UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string to_utf8(std::wstring_view text);

} // namespace lsmtp::platform::win32
