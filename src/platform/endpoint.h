// Socket addresses inside the platform layer: reading numeric hosts, looking
// names up, and one connection attempt per address.
#pragma once

#include "platform/socket.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <sys/socket.h>
#endif

namespace lsmtp::platform {

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The address of a numeric host: dotted IPv4 text as inet_addr reads it
// (255.255.255.255 excepted, which inet_addr cannot tell from a failure),
// or IPv6 text, with or without brackets. Makes no system call.
std::optional<Endpoint> numeric_endpoint(const char *host, std::uint16_t port);

struct FoundEndpoints {
    std::vector<Endpoint> endpoints;
    Failure failure;  // when there are none: the resolver's word, or that time ran out
    // The failure may pass: the resolver's temporary failure (EAI_AGAIN),
    // no answer before the deadline, or no worker to ask.
    bool for_now = false;
};

// The addresses of a name in the resolver's order, looked up on a detached
// worker; none when the lookup fails or is still running at the deadline.
FoundEndpoints look_up_endpoints(const char *name, std::uint16_t port, Deadline deadline);

// One attempt: a new socket of the endpoint's family (blocking on POSIX,
// where the system bounds each wait; non-blocking on Windows), connected
// before the deadline, with Nagle's delay turned off. The socket is moved
// into `socket` only when connected, the result naming the address;
// otherwise the failure is the system's (a timeout's when time ran out).
ConnectResult connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline);

// The endpoint's address as text: "192.0.2.1", "[2001:db8::1]".
std::string endpoint_text(const Endpoint &endpoint);

} // namespace lsmtp::platform
