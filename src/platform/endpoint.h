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

// The addresses of a name in the resolver's order, looked up on a detached
// worker; empty when the lookup fails or is still running at the deadline,
// with the resolver's word (or that time ran out) in `why`.
std::vector<Endpoint> look_up_endpoints(const char *name, std::uint16_t port, Deadline deadline,
                                        std::string &why);

// One attempt: a new socket of the endpoint's family (blocking on POSIX,
// where the system bounds each wait; non-blocking on Windows), connected
// before the deadline, with Nagle's delay turned off. The socket
// is moved into `socket` only when connected; otherwise `error` is the
// system's error code for the failure (a timeout's when time ran out).
ConnectOutcome connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline, int &error);

// The endpoint's address as text: "192.0.2.1", "[2001:db8::1]".
std::string endpoint_text(const Endpoint &endpoint);

// What the system says of an error code of the socket calls.
std::string socket_error_text(int error);

// Runs work(context) on a new detached thread. False when no thread could
// be started; work is not run.
bool run_detached(void (*work)(void *), void *context);

// Called by a caller that leaves detached work still running, before it
// returns to a host that may unload this module: the work's thread will
// return into the module's code. On Windows the thread holds the module
// for as long as it runs; elsewhere the module stays loaded for the rest of
// the process. A module that never left work behind unloads as usual.
void keep_module_for_running_work();

} // namespace lsmtp::platform
