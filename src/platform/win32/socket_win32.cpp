// Windows Sockets backend. Every library call starts Windows Sockets for
// its own duration (SocketLibrary), never DllMain: starting it there may
// load other DLLs under the loader lock.
#include "platform/backend.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace lsmtp::platform {
namespace {

using backend::Wait;

SOCKET handle_of(const Socket &socket) { return static_cast<SOCKET>(socket.native()); }

// select's time value for the time left until the deadline.
timeval time_left(Deadline deadline)
{
    const int left = milliseconds_left(deadline);
    return timeval{left / 1000, (left % 1000) * 1000};
}

enum class Readiness { read, write };

// Waits until the socket is ready for `readiness` or the deadline passes.
// A write wait also watches the except set, where a failed connection
// attempt shows up: that counts as ready, and the caller learns the outcome
// from SO_ERROR. Windows select has no
// interruptions to restart after, but it may return a little before its
// time runs out, so an early empty return waits again for what is left.
Wait wait_for(SOCKET handle, Readiness readiness, Deadline deadline)
{
    for (;;) {
        fd_set watched;
        fd_set failed;
        FD_ZERO(&watched);
        FD_ZERO(&failed);
        FD_SET(handle, &watched);
        const bool reading = readiness == Readiness::read;
        if (!reading)
            FD_SET(handle, &failed);
        timeval limit = time_left(deadline);
        // The first argument is ignored by Windows.
        const int ready = select(0, reading ? &watched : nullptr, reading ? nullptr : &watched,
                                 reading ? nullptr : &failed, &limit);
        if (ready == SOCKET_ERROR)
            return Wait::failed;
        if (ready > 0)
            return Wait::ready;
        if (std::chrono::steady_clock::now() >= deadline)
            return Wait::timed_out;
    }
}

// Why a wait did not end ready, taken right after it: its deadline passed,
// or select failed.
Failure unready(Wait waited) { return waited == Wait::timed_out ? timed_out() : failure_of(WSAGetLastError()); }

// The failure a connection attempt ended in, or none.
Failure pending_failure(SOCKET handle)
{
    int error = 0;
    int size = sizeof error;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
        return failure_of(WSAGetLastError());
    return error == 0 ? Failure{} : failure_of(error);
}

} // namespace

namespace backend {

// WSAStartup answers its error itself; WSAGetLastError needs the library
// started.
Failure start_sockets()
{
    WSADATA data;
    const int error = WSAStartup(MAKEWORD(2, 2), &data);
    return error == 0 ? Failure{} : failure_of(error);
}

void stop_sockets() { WSACleanup(); }

// closesocket alone ends the connection gracefully, as a shutdown would
// (no linger is set), and the handle is not inherited.
void close_socket(Socket::Native socket) { closesocket(static_cast<SOCKET>(socket)); }

void shut_down(const Socket &socket) { shutdown(handle_of(socket), SD_BOTH); }

Failure open_socket(Socket &socket, const Endpoint &endpoint)
{
    // Not inherited by child processes the host starts, which would keep the
    // connection open behind our back.
    const SOCKET handle = WSASocketW(endpoint.address.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET)
        return failure_of(WSAGetLastError());
    socket = Socket{static_cast<Socket::Native>(handle)};
    return {};
}

Failure connect_socket(Socket &socket, const Endpoint &endpoint, Deadline deadline)
{
    const SOCKET handle = handle_of(socket);
    // Non-blocking for good: every wait is a select with a deadline.
    u_long non_blocking = 1;
    if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0)
        return failure_of(WSAGetLastError());
    if (connect(handle, reinterpret_cast<const sockaddr *>(&endpoint.address), endpoint.length) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            return failure_of(error);
        // A refused attempt lands in the except set at once; either way only
        // a clear SO_ERROR is a connection.
        if (const Wait waited = wait_for(handle, Readiness::write, deadline); waited != Wait::ready)
            return unready(waited);
        if (Failure failed = pending_failure(handle))
            return failed;
    }
    // Commands and the last piece of the message go out at once instead of
    // waiting for the server's delayed acknowledgement.
    const BOOL on = TRUE;
    setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    return {};
}

// A wait, then a receive: Windows leaves a socket whose SO_RCVTIMEO ran out
// in an undefined state, so the system's own receive limit is no option.
Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline)
{
    switch (wait_for(handle_of(socket), Readiness::read, deadline)) {
    case Wait::ready:
        break;
    case Wait::timed_out:
        return {Received::Status::timed_out, 0, {}};
    case Wait::failed:
        return {Received::Status::failed, 0, failure_of(WSAGetLastError())};
    }
    const int length = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    const int got = recv(handle_of(socket), buffer, length, 0);
    if (got == SOCKET_ERROR)
        return {Received::Status::failed, 0, failure_of(WSAGetLastError())};
    if (got == 0)
        return {Received::Status::closed, 0, {}};
    return {Received::Status::data, static_cast<std::size_t>(got), {}};
}

// Windows raises no signal for a closed peer. The socket is non-blocking,
// so a peer that takes no data cannot hold the caller past the stall limit.
Failure send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit)
{
    const SOCKET handle = handle_of(socket);
    while (length > 0) {
        const int piece = length > INT_MAX ? INT_MAX : static_cast<int>(length);
        const int sent = send(handle, data, piece, 0);
        if (sent > 0) {
            data += sent;
            length -= static_cast<std::size_t>(sent);
            continue;
        }
        const int error = sent == 0 ? WSAECONNRESET : WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            return failure_of(error);
        // The peer's window is full: wait for room, but not forever.
        if (const Wait waited = wait_for(handle, Readiness::write, deadline_after(stall_limit)); waited != Wait::ready)
            return unready(waited);
    }
    return {};
}

} // namespace backend
} // namespace lsmtp::platform
