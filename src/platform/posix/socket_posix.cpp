#include "platform/endpoint.h"
#include "platform/seams.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

int fd_of(const Socket &socket) { return static_cast<int>(socket.native()); }

// poll for one event until the deadline, restarting after EINTR with the
// time that is left, never with the whole limit again. What poll reported
// is left in `seen` when asked for.
Wait wait_for(int fd, short events, Deadline deadline, short *seen = nullptr)
{
    if (!call_allowed_by_seams(Call::wait))
        return Wait::failed;
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, milliseconds_left(deadline));
        if (seen != nullptr)
            *seen = entry.revents;
        if (ready > 0)
            return Wait::ready;
        if (ready == 0)
            return Wait::timed_out;
        if (errno != EINTR)
            return Wait::failed;
    }
}

} // namespace

// POSIX sockets need no start.
SocketLibrary::SocketLibrary() : started_(true) {}
SocketLibrary::~SocketLibrary() = default;

void Socket::close()
{
    if (!valid())
        return;
    const int fd = static_cast<int>(release());
    shutdown(fd, SHUT_RDWR);
    ::close(fd);
    call_allowed_by_seams(Call::close);  // nothing to report a failure to
}

ConnectOutcome connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline, int &error)
{
    error = EACCES;  // what a test's seams stand for
    // Non-blocking from the start and for good: every wait is a poll with a
    // deadline, so the mode never needs switching.
    if (!call_allowed_by_seams(Call::socket))
        return ConnectOutcome::no_socket;
    Socket attempt{::socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    if (!attempt.valid()) {
        error = errno;
        return ConnectOutcome::no_socket;
    }
    const int fd = fd_of(attempt);
    if (!call_allowed_by_seams(Call::connect))
        return ConnectOutcome::failed;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&endpoint.address), endpoint.length) != 0) {
        error = errno;
        if (error != EINPROGRESS && error != EINTR)
            return ConnectOutcome::failed;
        // A failed attempt is reported as writable too, with an error or a
        // hang-up beside it; poll says so without another call, and only a
        // failure asks for its cause.
        short seen = 0;
        const Wait waited = wait_for(fd, POLLOUT, deadline, &seen);
        error = waited == Wait::timed_out ? ETIMEDOUT : errno;
        if (waited != Wait::ready)
            return ConnectOutcome::failed;
        if ((seen & (POLLERR | POLLHUP)) != 0) {
            socklen_t size = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error == 0)
                error = ECONNREFUSED;
            return ConnectOutcome::failed;
        }
    }
    // Commands and the last piece of the message go out at once instead of
    // waiting for the server's delayed acknowledgement.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket = std::move(attempt);
    error = 0;
    return ConnectOutcome::connected;
}

Wait wait_readable(const Socket &socket, Deadline deadline)
{
    return wait_for(fd_of(socket), POLLIN, deadline);
}

long receive_some(const Socket &socket, char *buffer, std::size_t capacity)
{
    if (!call_allowed_by_seams(Call::receive))
        return -1;
    for (;;) {
        const ssize_t got = recv(fd_of(socket), buffer, capacity, 0);
        if (got >= 0 || errno != EINTR)
            return got < 0 ? -1 : static_cast<long>(got);
    }
}

bool send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit)
{
    if (!call_allowed_by_seams(Call::send)) {
        // A send fails for real when the connection broke: the reads that
        // follow find it broken too.
        shutdown(fd_of(socket), SHUT_RDWR);
        return false;
    }
    if (const std::optional<bool> faked = send_by_seams(data, length))
        return *faked;
    const int fd = fd_of(socket);
    while (length > 0) {
        const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        // The peer's window is full: wait for room, but not forever.
        if (wait_for(fd, POLLOUT, deadline_after(stall_limit)) != Wait::ready)
            return false;
    }
    return true;
}

} // namespace lsmtp::platform
