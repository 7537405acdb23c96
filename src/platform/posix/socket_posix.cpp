#include "platform/socket.h"
#include "platform/seams.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lsmtp::platform {
namespace {

int fd_of(const Socket &socket) { return static_cast<int>(socket.native()); }

bool set_nonblocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

// poll for one event until the deadline, restarting after EINTR with the
// time that is left, never with the whole limit again.
Wait wait_for(int fd, short events, Deadline deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, milliseconds_left(deadline));
        if (ready > 0)
            return Wait::ready;
        if (ready == 0)
            return Wait::timed_out;
        if (errno != EINTR)
            return Wait::failed;
    }
}

} // namespace

void Socket::close()
{
    if (!valid())
        return;
    const int fd = static_cast<int>(release());
    shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

Socket create_tcp_socket()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? Socket{} : Socket{fd};
}

bool connect_ipv4(const Socket &socket, std::uint32_t address, std::uint16_t port, Deadline deadline)
{
    const int fd = fd_of(socket);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = address;

    set_nonblocking(fd, true);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return false;
        if (wait_for(fd, POLLOUT, deadline) != Wait::ready)
            return false;
        // Writable also means "failed"; only a clear SO_ERROR is a connection.
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return false;
    }
    set_nonblocking(fd, false);
    return true;
}

Wait wait_readable(const Socket &socket, Deadline deadline)
{
    return wait_for(fd_of(socket), POLLIN, deadline);
}

long receive_some(const Socket &socket, char *buffer, std::size_t capacity)
{
    for (;;) {
        const ssize_t got = recv(fd_of(socket), buffer, capacity, 0);
        if (got >= 0 || errno != EINTR)
            return got < 0 ? -1 : static_cast<long>(got);
    }
}

bool send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit)
{
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
