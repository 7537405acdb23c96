// The socket layer's front: the test seams are consulted here, once for
// every platform, before the system's calls in posix/ or win32/.
#include "platform/socket.h"

#include "platform/backend.h"
#include "platform/endpoint.h"
#include "platform/seams.h"

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

void Socket::close()
{
    if (!valid())
        return;
    backend::close_socket(release());
    call_allowed_by_seams(Call::close);  // nothing to report a failure to
}

ConnectResult connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline)
{
    if (!call_allowed_by_seams(Call::socket))
        return {ConnectOutcome::no_socket, refused_by_seams(), {}};
    Socket attempt;
    if (Failure failed = backend::open_socket(attempt, endpoint))
        return {ConnectOutcome::no_socket, std::move(failed), {}};
    if (!call_allowed_by_seams(Call::connect))
        return {ConnectOutcome::failed, refused_by_seams(), {}};
    if (Failure failed = backend::connect_socket(attempt, endpoint, deadline))
        return {ConnectOutcome::failed, std::move(failed), {}};
    socket = std::move(attempt);
    return {ConnectOutcome::connected, {}, endpoint_text(endpoint)};
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
