#include "platform/system_text.h"

#include "platform/win32/wide_text.h"

namespace lsmtp::platform {

std::optional<std::string> system_text_to_utf8(std::string_view text)
{
    const std::optional<std::wstring> wide = win32::to_utf16(text, CP_ACP);
    if (!wide)
        return std::nullopt;
    return win32::to_utf8(*wide);
}

} // namespace lsmtp::platform
