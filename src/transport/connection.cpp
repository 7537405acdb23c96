#include "transport/connection.h"

#include "lsmtp.h"

namespace lsmtp {

int open_connection(platform::Socket &socket, const char *host, std::uint16_t port, std::chrono::seconds limit)
{
    switch (platform::connect_to_host(socket, host, port, platform::deadline_after(limit))) {
    case platform::ConnectOutcome::connected:
        return 0;
    case platform::ConnectOutcome::no_socket:
        return SMTP_ERR_SOCKET;
    case platform::ConnectOutcome::failed:
        break;
    }
    return SMTP_ERR_CONNECT;
}

void close_connection(platform::Socket &socket) { socket.close(); }

bool send_bytes(SmtpSession &session, const char *data, std::size_t length)
{
    return platform::send_all(session.socket, data, length, send_stall_limit);
}

bool send_text(SmtpSession &session, std::string_view text) { return send_bytes(session, text.data(), text.size()); }

} // namespace lsmtp
