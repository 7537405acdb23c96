/* Prints the version information of a Windows module as Windows itself
 * reads it (GetFileVersionInfoW, VerQueryValueW): the numeric file and
 * product versions and the file type, then every string of the first
 * translation, one NAME=VALUE line each, in UTF-8.
 *
 * Usage: version_info FILE. Exits 1 when the module has no version
 * information. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static const wchar_t *const string_names[] = {
    L"CompanyName",  L"FileDescription", L"FileVersion", L"InternalName",
    L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion",
};

static void print_utf8(const wchar_t *text)
{
    char buffer[1024];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL) > 0)
        fputs(buffer, stdout);
}

static void print_version(const char *label, DWORD high, DWORD low)
{
    printf("%s=%u.%u.%u.%u\n", label, (unsigned)HIWORD(high), (unsigned)LOWORD(high), (unsigned)HIWORD(low),
           (unsigned)LOWORD(low));
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: version_info FILE\n");
        return 2;
    }
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
    void *data = size > 0 ? malloc(size) : NULL;
    if (data == NULL || !GetFileVersionInfoW(argv[1], 0, size, data)) {
        fprintf(stderr, "no version information (error %lu)\n", (unsigned long)GetLastError());
        return 1;
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    if (VerQueryValueW(data, L"\\", (void **)&fixed, &length) && length >= sizeof *fixed) {
        print_version("FILEVERSION", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        print_version("PRODUCTVERSION", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
        printf("FILETYPE=%s\n", fixed->dwFileType == VFT_DLL   ? "VFT_DLL"
                                : fixed->dwFileType == VFT_APP ? "VFT_APP"
                                                               : "other");
    }
    struct {
        WORD language;
        WORD code_page;
    } *translation = NULL;
    if (VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void **)&translation, &length) &&
        length >= sizeof *translation) {
        for (size_t i = 0; i < sizeof string_names / sizeof string_names[0]; ++i) {
            wchar_t path[128];
            swprintf(path, sizeof path / sizeof path[0], L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                     translation->code_page, string_names[i]);
            wchar_t *value = NULL;
            if (VerQueryValueW(data, path, (void **)&value, &length) && length > 0) {
                print_utf8(string_names[i]);
                putchar('=');
                print_utf8(value);
                putchar('\n');
            }
        }
    }
    free(data);
    return 0;
}
