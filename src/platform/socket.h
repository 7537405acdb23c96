// TCP sockets as the platform offers them: a connection to a host bounded
// by one deadline, receives bounded by a deadline and whole writes. The
// address family is this layer's business alone.
#pragma once

#include "platform/failure.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

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
    Socket(Socket &&other) noexcept : receive_limit(other.receive_limit), native_(other.release()) {}
    Socket &operator=(Socket &&other) noexcept;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool valid() const { return native_ != invalid_native; }
    Native native() const { return native_; }
    Native release();
    // Closes the socket (the connection ends as the system ends it on a
    // close); nothing happens for an invalid socket.
    void close();

    // How long the system lets one receive wait on this socket, as this
    // layer last set it; zero while it never has (the system's default:
    // without end). Only the platform code reads or sets it.
    std::chrono::milliseconds receive_limit{0};

private:
    Native native_ = invalid_native;
};

// Keeps the system's socket library started while it lives: on Windows one
// WSAStartup/WSACleanup pair, which Windows counts, so a host that started
// Windows Sockets itself is not disturbed; elsewhere nothing to do.
class SocketLibrary {
public:
    SocketLibrary();
    ~SocketLibrary();
    SocketLibrary(const SocketLibrary &) = delete;
    SocketLibrary &operator=(const SocketLibrary &) = delete;

    bool started() const { return !failure_; }
    // Why the library would not start.
    const Failure &failure() const { return failure_; }

private:
    Failure failure_;
};

// unresolved: the name does not exist or has no address; unresolved_for_now:
// the resolver failed for the time being, or gave no answer in time.
enum class ConnectOutcome { connected, no_socket, failed, unresolved, unresolved_for_now };

struct ConnectResult {
    ConnectOutcome outcome = ConnectOutcome::failed;
    Failure failure;      // unless connected
    std::string address;  // once connected: "192.0.2.1", "[2001:db8::1]"
};

// Connects a new socket to host:port before the deadline, which covers the
// name lookup too. The host is dotted IPv4 text (read as inet_addr reads
// it), IPv6 text (bracketed or not), or a name. Numeric hosts are read in
// place; a name is looked up on a worker thread that the call leaves behind
// at the deadline. Every address found is tried in the resolver's order,
// each with a fair share of the time left, so one that never answers cannot
// use up the deadline. On success `socket` holds the connection, without
// Nagle's delay; every read and write on it is bounded as said below.
// no_socket when not a single socket could be created for any address;
// unresolved when the name gave no address, unresolved_for_now when that
// may pass (see FoundEndpoints). Unless connected, the failure
// says what the system said: the resolver's word, or each address tried and
// its failure ("127.0.0.1: Connection refused; [::1]: Connection refused"),
// with the last attempt's code.
ConnectResult connect_to_host(Socket &socket, const char *host, std::uint16_t port, Deadline deadline);

struct Received {
    enum class Status { data, closed, timed_out, failed };
    Status status = Status::failed;
    std::size_t count = 0;  // bytes received, for data
    Failure failure;        // why, when failed
};

// One receive of at most `capacity` bytes, waiting no later than the
// deadline for the first of them: data, the peer's close, the deadline
// passed with nothing received, or an error. Whatever has arrived is taken
// even after the deadline. Works on a blocking socket or a non-blocking one.
Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline);

// Writes all `length` bytes, retrying short writes and interruptions,
// without raising a signal when the peer has gone. Fails when the peer
// takes no data for `stall_limit` (a timeout), or with the system's error.
Failure send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit);

} // namespace lsmtp::platform
