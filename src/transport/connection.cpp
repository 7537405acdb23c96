#include "transport/connection.h"

#include "lsmtp.h"

namespace lsmtp {

Outcome open_connection(platform::Socket &socket, const std::string &host, std::uint16_t port,
                        std::chrono::seconds limit)
{
    Outcome outcome;
    const platform::ConnectOutcome connected =
        platform::connect_to_host(socket, host.c_str(), port, platform::deadline_after(limit), &outcome.system_text);
    if (connected == platform::ConnectOutcome::connected)
        return {};
    outcome.code = connected == platform::ConnectOutcome::no_socket ? SMTP_ERR_SOCKET : SMTP_ERR_CONNECT;
    outcome.step = connected == platform::ConnectOutcome::unresolved ? Step::lookup : Step::connect;
    outcome.subject = host;
    return outcome;
}

void close_connection(platform::Socket &socket) { socket.close(); }

bool send_bytes(SmtpSession &session, const char *data, std::size_t length)
{
    return platform::send_all(session.socket, data, length, send_stall_limit);
}

bool send_text(SmtpSession &session, std::string_view text) { return send_bytes(session, text.data(), text.size()); }

} // namespace lsmtp
