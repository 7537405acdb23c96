// The socket layer's front: the test seams are consulted here, once for
// every platform, before the system's calls in posix/ or win32/. One
// deadline covers the name lookup and every connection attempt.
#include "platform/socket.h"

#include "platform/backend.h"
#include "platform/endpoint.h"
#include "platform/seams.h"

#include <span>

namespace lsmtp::platform {

int milliseconds_left(Deadline deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= Deadline::duration::zero())
        return 0;
    // Round up, a part of a millisecond too, so that a wait never ends a
    // little before its deadline.
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
}

Socket &Socket::operator=(Socket &&other) noexcept
{
    if (this != &other) {
        close();
        receive_limit = other.receive_limit;
        native_ = other.release();
    }
    return *this;
}

Socket::Native Socket::release()
{
    const Native native = native_;
    native_ = invalid_native;
    receive_limit = std::chrono::milliseconds{0};
    return native;
}

SocketLibrary::SocketLibrary() : failure_(backend::start_sockets()) {}

SocketLibrary::~SocketLibrary()
{
    if (started())
        backend::stop_sockets();
}

void Socket::close()
{
    if (!valid())
        return;
    backend::close_socket(release());
    call_allowed_by_seams(Call::close);  // nothing to report a failure to
}

namespace {

// Tries each address in turn until one connects.
ConnectResult connect_to_any(Socket &socket, std::span<const Endpoint> endpoints, Deadline deadline)
{
    Failure why;
    std::size_t attempts = 0;
    std::size_t without_socket = 0;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        // The time left divided by the addresses left: an address that never
        // answers leaves the later ones their turn.
        const auto addresses_left = static_cast<std::chrono::steady_clock::rep>(endpoints.size() - i);
        const ConnectResult attempt = connect_endpoint(socket, endpoints[i], now + (deadline - now) / addresses_left);
        if (attempt.outcome == ConnectOutcome::connected)
            return attempt;
        ++attempts;
        if (attempt.outcome == ConnectOutcome::no_socket)
            ++without_socket;
        why.code = attempt.failure.code;
        why.text.append(why.text.empty() ? "" : "; ").append(endpoint_text(endpoints[i])).append(": ").append(
            attempt.failure.text);
    }
    if (attempts < endpoints.size())
        why.text.append(why.text.empty() ? "" : "; ").append("no time left for the other addresses");
    return {attempts > 0 && without_socket == attempts ? ConnectOutcome::no_socket : ConnectOutcome::failed,
            std::move(why), {}};
}

} // namespace

ConnectResult connect_to_host(Socket &socket, const char *host, std::uint16_t port, Deadline deadline)
{
    if (const std::optional<Endpoint> numeric = numeric_endpoint(host, port))
        return connect_to_any(socket, {&*numeric, 1}, deadline);
    FoundEndpoints found = look_up_endpoints(host, port, deadline);
    if (found.endpoints.empty())
        return {found.for_now ? ConnectOutcome::unresolved_for_now : ConnectOutcome::unresolved,
                std::move(found.failure), {}};
    return connect_to_any(socket, found.endpoints, deadline);
}

Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline)
{
    if (!call_allowed_by_seams(Call::wait) || !call_allowed_by_seams(Call::receive))
        return {Received::Status::failed, 0, refused_by_seams()};
    return backend::receive_before(socket, buffer, capacity, deadline);
}

Failure send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit)
{
    if (!call_allowed_by_seams(Call::send)) {
        // A send fails for real when the connection broke: the reads that
        // follow find it broken too.
        backend::shut_down(socket);
        return refused_by_seams();
    }
    if (const std::optional<bool> faked = send_by_seams(data, length))
        return *faked ? Failure{} : refused_by_seams();
    return backend::send_all(socket, data, length, stall_limit);
}

} // namespace lsmtp::platform
