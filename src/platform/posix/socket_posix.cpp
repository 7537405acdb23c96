#include "platform/backend.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

using backend::Wait;

int fd_of(const Socket &socket) { return static_cast<int>(socket.native()); }

// How far past its deadline a receive may let the system's own limit run
// before that limit is set anew: the system counts in ticks anyway, and
// setting it for every small drift would cost a call per interruption.
constexpr std::chrono::milliseconds receive_limit_slack{2};

bool set_wait_limit(int fd, int option, std::chrono::milliseconds limit)
{
    const auto count = limit.count();
    const timeval value{static_cast<time_t>(count / 1000), static_cast<suseconds_t>(count % 1000 * 1000)};
    return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

// poll for one event until the deadline, restarting after EINTR with the
// time that is left, never with the whole limit again. What poll reported
// is left in `seen` when asked for.
Wait wait_for(int fd, short events, Deadline deadline, short *seen = nullptr)
{
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

// Why a wait did not end ready, taken right after it: its deadline passed,
// or poll failed.
Failure unready(Wait waited) { return waited == Wait::timed_out ? timed_out() : last_failure(); }

} // namespace

namespace backend {

// POSIX sockets need no start.
Failure start_sockets() { return {}; }
void stop_sockets() {}

// close alone ends the connection as a shutdown would: the descriptor is
// ours alone (close-on-exec, never duplicated).
void close_socket(Socket::Native socket) { ::close(static_cast<int>(socket)); }

void shut_down(const Socket &socket) { shutdown(fd_of(socket), SHUT_RDWR); }

Failure open_socket(Socket &socket, const Endpoint &endpoint)
{
    socket = Socket{::socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    return socket.valid() ? Failure{} : last_failure();
}

// The socket blocks, and the system itself bounds each wait: the connect by
// the send limit (SO_SNDTIMEO), each receive by the receive limit
// (SO_RCVTIMEO, see receive_before). A reply then costs one call instead of
// a wait and a read. Writes never block (MSG_DONTWAIT) and wait with poll.
Failure connect_socket(Socket &socket, const Endpoint &endpoint, Deadline deadline)
{
    const int fd = fd_of(socket);
    // Commands and the last piece of the message go out at once instead of
    // waiting for the server's delayed acknowledgement.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Zero would mean no limit at all.
    const int left = milliseconds_left(deadline);
    if (left == 0)
        return timed_out();
    if (!set_wait_limit(fd, SO_SNDTIMEO, std::chrono::milliseconds{left}))
        return last_failure();
    if (connect(fd, reinterpret_cast<const sockaddr *>(&endpoint.address), endpoint.length) == 0)
        return {};
    const int error = errno;
    // EINPROGRESS: the limit ran out.
    if (error != EINTR)
        return error == EINPROGRESS ? timed_out() : failure_of(error);
    // A signal leaves the attempt going on: poll waits for the rest of the
    // time. A failed attempt is reported as writable too, with an error or a
    // hang-up beside it; only a failure asks for its cause.
    short seen = 0;
    if (const Wait waited = wait_for(fd, POLLOUT, deadline, &seen); waited != Wait::ready)
        return unready(waited);
    if ((seen & (POLLERR | POLLHUP)) == 0)
        return {};
    int pending = 0;
    socklen_t size = sizeof pending;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending == 0)
        pending = ECONNREFUSED;
    return failure_of(pending);
}

Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline)
{
    const int fd = fd_of(socket);
    for (;;) {
        const std::chrono::milliseconds left{milliseconds_left(deadline)};
        // The system's limit may run short of the deadline (then poll waits
        // for the rest), never past it: a reply that came in pieces, or
        // interruptions, leave less time than the limit set for the first.
        // Zero left: take only what is there already.
        const bool now_only = left.count() == 0;
        if (!now_only && (socket.receive_limit.count() == 0 || socket.receive_limit > left + receive_limit_slack)) {
            if (!set_wait_limit(fd, SO_RCVTIMEO, left))
                return {Received::Status::failed, 0, last_failure()};
            socket.receive_limit = left;
        }
        const ssize_t got = recv(fd, buffer, capacity, now_only ? MSG_DONTWAIT : 0);
        if (got > 0)
            return {Received::Status::data, static_cast<std::size_t>(got), {}};
        if (got == 0)
            return {Received::Status::closed, 0, {}};
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return {Received::Status::failed, 0, last_failure()};
        if (now_only)
            return {Received::Status::timed_out, 0, {}};
        // The limit ran out before the deadline, or the socket does not
        // block: poll for the time that is left.
        switch (wait_for(fd, POLLIN, deadline)) {
        case Wait::ready:
            break;
        case Wait::timed_out:
            return {Received::Status::timed_out, 0, {}};
        case Wait::failed:
            return {Received::Status::failed, 0, last_failure()};
        }
    }
}

Failure send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit)
{
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
            return last_failure();
        // The peer's window is full: wait for room, but not forever.
        if (const Wait waited = wait_for(fd, POLLOUT, deadline_after(stall_limit)); waited != Wait::ready)
            return unready(waited);
    }
    return {};
}

} // namespace backend
} // namespace lsmtp::platform
