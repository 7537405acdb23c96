#include "platform/failure.h"
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

Failure failure_of(int code)
{
    std::string text = std::system_category().message(code);
    // A failure without words would read as none.
    if (text.empty())
        text = "error " + std::to_string(code);
    return {code, std::move(text)};
}

Failure last_failure() { return failure_of(static_cast<int>(GetLastError())); }

Failure refused_by_seams() { return failure_of(ERROR_ACCESS_DENIED); }

Failure not_open() { return failure_of(ERROR_INVALID_HANDLE); }

} // namespace lsmtp::platform
