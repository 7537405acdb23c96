#include "platform/failure.h"
#include "platform/system_text.h"

#include "platform/win32/wide_text.h"

#include <memory>
#include <string>
#include <string_view>
#include <windows.h>

namespace lsmtp::platform {

std::optional<std::string> system_text_to_utf8(std::string_view text)
{
    const std::optional<std::wstring> wide = win32::to_utf16(text, CP_ACP);
    if (!wide)
        return std::nullopt;
    return win32::to_utf8(*wide);
}

// The narrow messages (FormatMessageA, and the standard library's, which
// calls it) are in the ANSI code page; the wide ones are the system's own.
Failure failure_of(int code)
{
    wchar_t *words = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t *>(&words),
                                        0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(words, &LocalFree);
    std::wstring_view said(words, words != nullptr ? length : 0);
    // Windows ends its messages in a full stop and a line break, which
    // would end a sentence in the middle of ours.
    while (!said.empty() && std::wstring_view(L"\r\n .").find(said.back()) != std::wstring_view::npos)
        said.remove_suffix(1);
    // A failure without words would read as none.
    if (said.empty())
        return {.code = code, .text = "error " + std::to_string(code)};
    return {.code = code, .text = win32::to_utf8(said)};
}

Failure last_failure() { return failure_of(static_cast<int>(GetLastError())); }

Failure refused_by_seams() { return failure_of(ERROR_ACCESS_DENIED); }

Failure not_open() { return failure_of(ERROR_INVALID_HANDLE); }

Failure timed_out() { return failure_of(WSAETIMEDOUT); }

} // namespace lsmtp::platform
