// Files on Windows, through kernel handles. Paths are narrow strings: UTF-8
// when they are valid UTF-8 beyond ASCII (opened with the wide calls),
// otherwise in the process's ANSI code page, as the host's other narrow file
// calls take them.
//
// The private copy: a new file gets the access rules its folder hands down,
// the same ones the file it sits beside got, nobody else may open it, and
// it is deleted when closed.
#include "platform/file.h"
#include "platform/seams.h"
#include "platform/win32/file_path.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace lsmtp::platform {
namespace {

HANDLE handle_of(const File &file) { return reinterpret_cast<HANDLE>(file.native()); }

File file_of(HANDLE handle)
{
    return File(handle == INVALID_HANDLE_VALUE ? File::invalid_native : reinterpret_cast<File::Native>(handle));
}

DWORD block_of(std::size_t length) { return length > INT_MAX ? INT_MAX : static_cast<DWORD>(length); }

CreateError create_error_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return CreateError::exists;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return CreateError::no_room_or_access;
    default:
        return CreateError::other;
    }
}

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

long File::read(char *buffer, std::size_t capacity)
{
    if (!valid() || !call_allowed_by_seams(Call::read))
        return -1;
    DWORD got = 0;
    if (ReadFile(handle_of(*this), buffer, block_of(capacity), &got, nullptr))
        return static_cast<long>(got);
    // A pipe whose writer has gone is at its end, not broken.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool File::write(const char *data, std::size_t length)
{
    if (!valid() || !call_allowed_by_seams(Call::write))
        return false;
    while (length > 0) {
        DWORD put = 0;
        // A file that takes nothing of a non-empty write is broken; do not
        // spin on it.
        if (!WriteFile(handle_of(*this), data, block_of(length), &put, nullptr) || put == 0)
            return false;
        data += put;
        length -= put;
    }
    return true;
}

bool File::rewind()
{
    LARGE_INTEGER start{};
    return valid() && call_allowed_by_seams(Call::position) &&
           SetFilePointerEx(handle_of(*this), start, nullptr, FILE_BEGIN) != 0;
}

std::int64_t File::size() const
{
    LARGE_INTEGER size{};
    return valid() && call_allowed_by_seams(Call::position) && GetFileSizeEx(handle_of(*this), &size) ? size.QuadPart : -1;
}

std::int64_t File::position() const
{
    LARGE_INTEGER none{}, at{};
    return valid() && call_allowed_by_seams(Call::position) &&
                   SetFilePointerEx(handle_of(*this), none, &at, FILE_CURRENT)
               ? at.QuadPart
               : -1;
}

bool File::close()
{
    if (!valid())
        return true;
    const bool closed = CloseHandle(reinterpret_cast<HANDLE>(release())) != 0;
    return call_allowed_by_seams(Call::close) && closed;
}

File open_for_reading(const std::string &path)
{
    if (!call_allowed_by_seams(Call::open))
        return File();
    // Others may go on reading, writing and deleting the file, as on POSIX.
    File file = file_of(create_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
    // Only files on disk: a device such as NUL or CON, or a pipe, could feed
    // the encoder forever. (Folders do not open without backup semantics.)
    if (file.valid() && GetFileType(handle_of(file)) != FILE_TYPE_DISK)
        return File();
    return file;
}

File create_exclusive(const std::string &path, CreateError *why)
{
    if (!call_allowed_by_seams(Call::create))
        return creation_refused_by_seams(why);
    // CREATE_NEW never replaces anything; with OPEN_REPARSE_POINT a link at
    // the name is the name itself, never followed to create its target.
    // Nobody else may read or write it meanwhile; deleting stays possible,
    // as on POSIX.
    const HANDLE handle = create_file(path, GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    const CreateError error = handle == INVALID_HANDLE_VALUE ? create_error_of(GetLastError()) : CreateError::none;
    if (why != nullptr)
        *why = error;
    return file_of(handle);
}

File create_scratch(const std::string &folder, const std::string &name, CreateError *why)
{
    if (!call_allowed_by_seams(Call::create))
        return creation_refused_by_seams(why);
    // Shared with nobody, so no other process can open it while it lives;
    // the system deletes it when the handle closes, also when the process
    // is killed.
    const HANDLE handle = create_file(folder + name, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT);
    const CreateError error = handle == INVALID_HANDLE_VALUE ? create_error_of(GetLastError()) : CreateError::none;
    if (why != nullptr)
        *why = error;
    return file_of(handle);
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
