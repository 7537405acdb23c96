/* A Windows application's way of using lsmtp.dll: load the DLL at run
 * time, look up lsmtp_send_mail by name, start Windows Sockets (the host's
 * job, never the library's) and send one message with one attachment to
 * port 25 of 127.0.0.1.
 *
 * Usage: dll_host DLL ATTACHMENT. Prints the call's result and exits 0 when
 * it is 221 (the server's answer to QUIT), 1 otherwise. */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>

typedef int(__cdecl *send_mail_function)(const char *, const char *, const char *, const char *, const char *,
                                         const char *, const char *, const char *, const char *, const char *,
                                         const char *, const char *, const char *, const char *, const char *,
                                         const char *);

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: dll_host DLL ATTACHMENT\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "cannot load %s: error %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    /* GetProcAddress hands back a generic function pointer; the cast goes
     * through void (*)(void) so that the compiler accepts it. */
    send_mail_function send_mail =
        (send_mail_function)(void (*)(void))GetProcAddress(library, "lsmtp_send_mail");
    if (send_mail == NULL) {
        fprintf(stderr, "no lsmtp_send_mail in %s\n", argv[1]);
        return 1;
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        fprintf(stderr, "WSAStartup failed\n");
        return 1;
    }
    int result = send_mail("127.0.0.1", "Report from a Windows host", "Hello from the DLL.\r\nSecond line.",
                           "host@windows.test", "Windows Host <host@windows.test>", "one@example.test;two@example.test",
                           NULL, "", NULL, "", NULL, NULL, NULL, "", NULL, argv[2]);
    WSACleanup();
    FreeLibrary(library);
    printf("%d\n", result);
    return result == 221 ? 0 : 1;
}
