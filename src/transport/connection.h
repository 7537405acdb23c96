// The session's TCP connection to the mail server.
#pragma once

#include "platform/socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lsmtp {

// One SMTP session: the connection and the replies received but not yet
// read (see reply.h).
struct SmtpSession {
    platform::Socket socket;
    std::string replies;
};

// How long the call waits for the connection to the server, the name
// lookup included.
inline constexpr std::chrono::seconds connect_limit{15};

// How long a write may wait for the server to take more data.
inline constexpr std::chrono::seconds send_stall_limit{10};

// Connects `socket` to host:port (a name, IPv4 or IPv6 text) within
// `limit`, name lookup included; see platform::connect_to_host.
platform::ConnectResult open_connection(platform::Socket &socket, const std::string &host, std::uint16_t port,
                                        std::chrono::seconds limit);

// Closes the socket, which ends the connection; nothing
// happens for an invalid socket.
void close_connection(platform::Socket &socket);

// Writes the bytes whole; false when the write failed.
bool send_bytes(SmtpSession &session, const char *data, std::size_t length);
bool send_text(SmtpSession &session, std::string_view text);

} // namespace lsmtp
