/* A Windows application's way of using lsmtp.dll: load the DLL at run
 * time, look up lsmtp_send_mail by name and call it through the header's
 * function pointer type (__stdcall on x86) to send one message with two
 * attachments to port 25 of 127.0.0.1. The host never starts Windows
 * Sockets: the library does that for each call.
 *
 * Usage: dll_host DLL utf8|ansi FILE FILE. The arguments arrive as UTF-16;
 * the paths are handed over in UTF-8, as a host written for Unicode does,
 * or in the ANSI code page, as an older host does.
 * Prints the call's result and exits 0 when it is 221 (the server's answer
 * to QUIT), 1 otherwise. */
#include "lsmtp.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The wide text in `code_page`, in a buffer the caller frees; NULL when it
 * does not convert exactly. */
static char *narrow(const wchar_t *text, UINT code_page)
{
    BOOL lossy = FALSE;
    BOOL *check = code_page == CP_UTF8 ? NULL : &lossy;
    int size = WideCharToMultiByte(code_page, 0, text, -1, NULL, 0, NULL, check);
    char *result = size > 0 ? malloc((size_t)size) : NULL;
    if (result != NULL && (WideCharToMultiByte(code_page, 0, text, -1, result, size, NULL, check) != size || lossy)) {
        free(result);
        result = NULL;
    }
    return result;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 5 || (wcscmp(argv[2], L"utf8") != 0 && wcscmp(argv[2], L"ansi") != 0)) {
        fprintf(stderr, "usage: dll_host DLL utf8|ansi FILE FILE\n");
        return 2;
    }
    const UINT code_page = wcscmp(argv[2], L"utf8") == 0 ? CP_UTF8 : CP_ACP;
    HMODULE library = LoadLibraryW(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "cannot load the DLL: error %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    /* GetProcAddress hands back a generic function pointer; the cast goes
     * through void (*)(void) so that the compiler accepts it. */
    lsmtp_send_mail_fn send_mail = (lsmtp_send_mail_fn)(void (*)(void))GetProcAddress(library, "lsmtp_send_mail");
    if (send_mail == NULL) {
        fprintf(stderr, "no lsmtp_send_mail in the DLL\n");
        return 1;
    }
    char *first = narrow(argv[3], code_page);
    char *second = narrow(argv[4], code_page);
    char *attachments = NULL;
    if (first != NULL && second != NULL) {
        attachments = malloc(strlen(first) + strlen(second) + 2);
        if (attachments != NULL)
            sprintf(attachments, "%s;%s", first, second);
    }
    if (attachments == NULL) {
        fprintf(stderr, "the file names do not convert\n");
        return 1;
    }
    int result = send_mail("127.0.0.1", "Report from a host program", "Hello from the DLL.\r\nSecond line.",
                           "host@windows.test", "Windows Host <host@windows.test>", "one@example.test;two@example.test",
                           NULL, "", NULL, "", NULL, NULL, NULL, "", NULL, attachments);
    free(attachments);
    free(second);
    free(first);
    FreeLibrary(library);
    printf("%d\n", result);
    return result == 221 ? 0 : 1;
}
