// Windows Sockets must be started by the host process before any socket
// call; the library leaves that to its host, so the test program does it
// before main. Nothing to do elsewhere.
#ifdef _WIN32
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct WinsockSetup {
    WinsockSetup()
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            std::fputs("WSAStartup failed\n", stderr);
            std::abort();
        }
    }
    ~WinsockSetup() { WSACleanup(); }
};

const WinsockSetup winsock_setup;

} // namespace
#endif
