#include "transport/connection.h"

namespace lsmtp {

platform::ConnectResult open_connection(platform::Socket &socket, const std::string &host, std::uint16_t port,
                                        std::chrono::seconds limit)
{
    return platform::connect_to_host(socket, host.c_str(), port, platform::deadline_after(limit));
}

void close_connection(platform::Socket &socket) { socket.close(); }

void keep_failure(SmtpSession &session, platform::Failure failure)
{
    if (!session.failure)
        session.failure = std::move(failure);
}

bool send_bytes(SmtpSession &session, const char *data, std::size_t length)
{
    platform::Failure failed = platform::send_all(session.socket, data, length, send_stall_limit);
    if (!failed)
        return true;
    keep_failure(session, std::move(failed));
    return false;
}

bool send_text(SmtpSession &session, std::string_view text) { return send_bytes(session, text.data(), text.size()); }

} // namespace lsmtp
