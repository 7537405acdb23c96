// Which Windows file calls take a narrow path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lsmtp::platform::win32 {

// A path that is valid UTF-8 and holds more than ASCII, as UTF-16 for the
// wide file calls. Empty for any other path: those go to the ANSI calls in
// the process's code page, as the host's own narrow file calls take them.
// (A path in the ANSI code page is rarely valid UTF-8 once it holds
// anything beyond ASCII.)
std::optional<std::wstring> utf8_path_as_utf16(std::string_view path);

} // namespace lsmtp::platform::win32
