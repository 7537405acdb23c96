// The session's TCP connection to the mail server.
#pragma once

#include "platform/socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lsmtp {

// One SMTP session: the connection, the replies received but not yet
// read (see reply.h), and why the connection first failed, as the system
// said it ("Connection reset by peer"): what follows a broken connection
// only fails again.
struct SmtpSession {
    platform::Socket socket;
    std::string replies;
    platform::Failure failure;
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

// Keeps `failure` as the session's unless one came before.
void keep_failure(SmtpSession &session, platform::Failure failure);

// Writes the bytes whole; false when the write failed, its failure kept
// in the session unless one came before.
bool send_bytes(SmtpSession &session, const char *data, std::size_t length);
bool send_text(SmtpSession &session, std::string_view text);

} // namespace lsmtp
