#include "transport/connection.h"

namespace lsmtp {

platform::Socket create_socket() { return platform::create_tcp_socket(); }

bool open_connection(const platform::Socket &socket, const char *host, std::uint16_t port, std::chrono::seconds limit)
{
    const platform::Deadline deadline = platform::deadline_after(limit);
    std::uint32_t address = 0;
    if (!platform::resolve_ipv4(host, &address))
        return false;
    return platform::connect_ipv4(socket, address, port, deadline);
}

void close_connection(platform::Socket &socket) { socket.close(); }

bool send_bytes(SmtpSession &session, const char *data, std::size_t length)
{
    return platform::send_all(session.socket, data, length, send_stall_limit);
}

bool send_text(SmtpSession &session, std::string_view text) { return send_bytes(session, text.data(), text.size()); }

} // namespace lsmtp
