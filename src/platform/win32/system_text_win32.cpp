#include "platform/system_text.h"

#include "platform/win32/wide_text.h"

#include <system_error>
#include <windows.h>

namespace lsmtp::platform {

std::optional<std::string> system_text_to_utf8(std::string_view text)
{
    const std::optional<std::wstring> wide = win32::to_utf16(text, CP_ACP);
    if (!wide)
        return std::nullopt;
    return win32::to_utf8(*wide);
}

} // namespace lsmtp::platform

std::string lsmtp::platform::last_error_text()
{
    return std::system_category().message(static_cast<int>(GetLastError()));
}
