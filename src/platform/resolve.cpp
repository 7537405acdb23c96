// Host names to IPv4 addresses: the same calls on every platform, only the
// headers differ.
#include "platform/socket.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace lsmtp::platform {

bool resolve_ipv4(const char *host, std::uint32_t *address)
{
    const auto dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        *address = dotted;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    bool ok = false;
    for (const addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            *address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr)->sin_addr.s_addr;
            ok = true;
            break;
        }
    }
    freeaddrinfo(found);
    return ok;
}

} // namespace lsmtp::platform
