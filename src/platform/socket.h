// TCP sockets as the platform offers them: IPv4 streams, a connect bounded
// by a deadline, readiness waits, whole writes and single receives.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lsmtp::platform {

using Deadline = std::chrono::steady_clock::time_point;

inline Deadline deadline_after(std::chrono::milliseconds limit)
{
    return std::chrono::steady_clock::now() + limit;
}

// Milliseconds left until the deadline, never negative.
int milliseconds_left(Deadline deadline);

// A move-only owner of one socket; the destructor closes it.
class Socket {
public:
    using Native = std::intptr_t;
    static constexpr Native invalid_native = -1;

    Socket() = default;
    explicit Socket(Native native) : native_(native) {}
    ~Socket() { close(); }
    Socket(Socket &&other) noexcept : native_(other.release()) {}
    Socket &operator=(Socket &&other) noexcept;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool valid() const { return native_ != invalid_native; }
    Native native() const { return native_; }
    Native release();
    // Shuts the connection down in both directions, then closes the socket.
    // Nothing happens for an invalid socket.
    void close();

private:
    Native native_ = invalid_native;
};

// A new IPv4 stream socket, or an invalid one.
Socket create_tcp_socket();

// The IPv4 address of a host, in network byte order. Dotted text is read as
// inet_addr reads it; anything else (255.255.255.255 included) is looked up
// by name and the first IPv4 address is taken. False when neither works.
bool resolve_ipv4(const char *host, std::uint32_t *address);

// Connects to address:port before the deadline. False when the connection
// is refused, fails or is not established in time. The socket is left in
// blocking mode on success.
bool connect_ipv4(const Socket &socket, std::uint32_t address, std::uint16_t port, Deadline deadline);

enum class Wait { ready, timed_out, failed };

// Waits until the socket has data to read (or the peer closed it).
Wait wait_readable(const Socket &socket, Deadline deadline);

// One receive of at most `capacity` bytes. Returns the count, 0 when the
// peer closed the connection, -1 on error.
long receive_some(const Socket &socket, char *buffer, std::size_t capacity);

// Writes all `length` bytes, retrying short writes and interruptions,
// without raising a signal when the peer has gone. Gives up (false) when
// the peer takes no data for `stall_limit`, or on any error.
bool send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit);

} // namespace lsmtp::platform
