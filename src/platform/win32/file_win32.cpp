// Files on Windows, through kernel handles. Paths are narrow strings: UTF-8
// when they are valid UTF-8 beyond ASCII (opened with the wide calls),
// otherwise in the process's ANSI code page, as the host's other narrow file
// calls take them.
//
// The private copy: a new file gets the access rules its folder hands down,
// the same ones the file it sits beside got, nobody else may open it, and
// it is deleted when closed.
#include "platform/backend.h"
#include "platform/win32/file_path.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace lsmtp::platform {
namespace {

HANDLE handle_of(File::Native file) { return reinterpret_cast<HANDLE>(file); }

// The file for a handle just opened, or the failure that left none.
OpenedFile opened(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return {File(), last_failure()};
    return {File(reinterpret_cast<File::Native>(handle)), {}};
}

DWORD block_of(std::size_t length) { return length > INT_MAX ? INT_MAX : static_cast<DWORD>(length); }

// CreateFile with the wide or the narrow name, as utf8_path_as_utf16 decides.
HANDLE create_file(const std::string &path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags)
{
    if (const std::optional<std::wstring> wide = win32::utf8_path_as_utf16(path))
        return CreateFileW(wide->c_str(), access, sharing, nullptr, disposition, flags, nullptr);
    return CreateFileA(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
}

// The folder in the ANSI code page when it converts exactly, so that a copy
// named after an ANSI attachment still forms one valid ANSI path; otherwise
// in UTF-8, which the wide calls take.
std::string narrow_folder(const std::wstring &folder)
{
    const int length = static_cast<int>(folder.size());
    BOOL lossy = FALSE;
    const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.data(), length, nullptr, 0, nullptr,
                                           &lossy);
    if (needed <= 0 || lossy)
        return win32::to_utf8(folder);
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.data(), length, ansi.data(), needed, nullptr, nullptr);
    return ansi;
}

} // namespace

namespace win32 {

std::optional<std::wstring> utf8_path_as_utf16(std::string_view path)
{
    if (std::all_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::nullopt;
    return to_utf16(path, CP_UTF8);
}

} // namespace win32

File::Read backend::read_file(File::Native file, char *buffer, std::size_t capacity)
{
    DWORD got = 0;
    if (ReadFile(handle_of(file), buffer, block_of(capacity), &got, nullptr))
        return {got, {}};
    // A pipe whose writer has gone is at its end, not broken.
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE)
        return {0, {}};
    return {0, failure_of(static_cast<int>(error))};
}

Failure backend::write_file(File::Native file, const char *data, std::size_t length)
{
    while (length > 0) {
        DWORD put = 0;
        if (!WriteFile(handle_of(file), data, block_of(length), &put, nullptr))
            return last_failure();
        // A file that takes nothing of a non-empty write is broken; do not
        // spin on it.
        if (put == 0)
            return failure_of(ERROR_WRITE_FAULT);
        data += put;
        length -= put;
    }
    return {};
}

Failure backend::rewind_file(File::Native file)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN) != 0 ? Failure{} : last_failure();
}

File::Offset backend::file_size(File::Native file)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_of(file), &size))
        return {0, last_failure()};
    return {size.QuadPart, {}};
}

File::Offset backend::file_position(File::Native file)
{
    LARGE_INTEGER none{}, at{};
    if (!SetFilePointerEx(handle_of(file), none, &at, FILE_CURRENT))
        return {0, last_failure()};
    return {at.QuadPart, {}};
}

Failure backend::close_file(File::Native file)
{
    return CloseHandle(handle_of(file)) != 0 ? Failure{} : last_failure();
}

OpenedFile backend::open_for_reading(const std::string &path)
{
    // Others may go on reading, writing and deleting the file, as on POSIX.
    OpenedFile opening = opened(create_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
    // Only files on disk: a device such as NUL or CON, or a pipe, could feed
    // the encoder forever. (Folders do not open without backup semantics.)
    if (opening.file.valid() && GetFileType(handle_of(opening.file.native())) != FILE_TYPE_DISK)
        return {File(), failure_of(ERROR_INVALID_PARAMETER)};  // as POSIX says EINVAL
    return opening;
}

// Windows has no file without a name; the private file is deleted when closed
// instead (create_private).
OpenedFile backend::create_unnamed(const std::string &) { return {File(), failure_of(ERROR_NOT_SUPPORTED)}; }

bool backend::unnamed_unsupported(const Failure &failure)
{
    return static_cast<DWORD>(failure.code) == ERROR_NOT_SUPPORTED;
}

OpenedFile backend::create_private(const std::string &path)
{
    // Shared with nobody, so no other process can open it while it lives;
    // the system deletes it when the handle closes, also when the process
    // is killed. CREATE_NEW never replaces anything; with
    // OPEN_REPARSE_POINT a link at the name is the name itself, never
    // followed to create its target.
    return opened(create_file(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT));
}

// The file goes when its handle closes.
Failure backend::remove_name(const std::string &) { return {}; }

bool name_was_taken(const Failure &failure)
{
    const auto code = static_cast<DWORD>(failure.code);
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

std::string temporary_directory()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH + 1)
        return ".";
    std::string text = narrow_folder(std::wstring(folder, length));
    // GetTempPath ends the folder with a backslash; callers add their own.
    if (text.size() > 1 && text.back() == '\\')
        text.pop_back();
    return text;
}

} // namespace lsmtp::platform
