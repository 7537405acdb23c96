// The test server makes its own sockets, outside any library call, so the
// test program starts Windows Sockets before main; the library's own
// start and stop per call are counted on top. Nothing to do elsewhere.
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
