// Text in the system's own narrow character set.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lsmtp::platform {

// On Windows, narrow text from the caller is in the process's ANSI code
// page; this gives it as UTF-8 (double-byte code pages whole). Empty when
// the platform has no such code page (POSIX: bytes are taken as they are)
// or the text is not valid in it.
std::optional<std::string> system_text_to_utf8(std::string_view text);

} // namespace lsmtp::platform
