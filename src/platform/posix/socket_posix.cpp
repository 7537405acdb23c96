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

// close alone ends the connection as a shutdown would: the descriptor is
// ours alone (close-on-exec, never duplicated).
void Socket::close()
{
    if (!valid())
        return;
    const int fd = static_cast<int>(release());
    ::close(fd);
    call_allowed_by_seams(Call::close);  // nothing to report a failure to
}

// The socket blocks, and the system itself bounds each wait: the connect by
// the send limit (SO_SNDTIMEO), each receive by the receive limit
// (SO_RCVTIMEO, see receive_before). A reply then costs one call instead of
// a wait and a read. Writes never block (MSG_DONTWAIT) and wait with poll.
ConnectOutcome connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline, int &error)
{
    error = EACCES;  // what a test's seams stand for
    if (!call_allowed_by_seams(Call::socket))
        return ConnectOutcome::no_socket;
    Socket attempt{::socket(endpoint.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (!attempt.valid()) {
        error = errno;
        return ConnectOutcome::no_socket;
    }
    const int fd = fd_of(attempt);
    // Commands and the last piece of the message go out at once instead of
    // waiting for the server's delayed acknowledgement.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Zero would mean no limit at all.
    const int left = milliseconds_left(deadline);
    if (left == 0) {
        error = ETIMEDOUT;
        return ConnectOutcome::failed;
    }
    if (!set_wait_limit(fd, SO_SNDTIMEO, std::chrono::milliseconds{left})) {
        error = errno;
        return ConnectOutcome::failed;
    }
    if (!call_allowed_by_seams(Call::connect))
        return ConnectOutcome::failed;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&endpoint.address), endpoint.length) != 0) {
        error = errno;
        // EINPROGRESS: the limit ran out.
        if (error == EINPROGRESS)
            error = ETIMEDOUT;
        if (error != EINTR)
            return ConnectOutcome::failed;
        // A signal leaves the attempt going on: poll waits for the rest of
        // the time. A failed attempt is reported as writable too, with an
        // error or a hang-up beside it; only a failure asks for its cause.
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
    socket = std::move(attempt);
    error = 0;
    return ConnectOutcome::connected;
}

Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline)
{
    if (!call_allowed_by_seams(Call::wait) || !call_allowed_by_seams(Call::receive))
        return {};
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
                return {};
            socket.receive_limit = left;
        }
        const ssize_t got = recv(fd, buffer, capacity, now_only ? MSG_DONTWAIT : 0);
        if (got > 0)
            return {Received::Status::data, static_cast<std::size_t>(got)};
        if (got == 0)
            return {Received::Status::closed, 0};
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return {};
        if (now_only)
            return {Received::Status::timed_out, 0};
        // The limit ran out before the deadline, or the socket does not
        // block: poll for the time that is left.
        switch (wait_for(fd, POLLIN, deadline)) {
        case Wait::ready:
            break;
        case Wait::timed_out:
            return {Received::Status::timed_out, 0};
        case Wait::failed:
            return {};
        }
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
