// The few system facilities the tests use that POSIX and Windows spell
// differently, behind one spelling, so that a test source serves both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace lsmtp::test {

// A socket of the system: a descriptor on POSIX, a SOCKET on Windows.
using RawSocket = std::intptr_t;
constexpr RawSocket no_socket = -1;

// Two connected stream sockets (a socketpair; loopback TCP on Windows).
bool socket_pair(RawSocket ends[2]);
// A socket listening on 127.0.0.1:port with the given backlog, or no_socket.
RawSocket loopback_listener(std::uint16_t port, int backlog);
// One recv or send: the count, or -1 on error.
long socket_read(RawSocket socket, char *buffer, std::size_t capacity);
long socket_write(RawSocket socket, const char *data, std::size_t length);
// Bytes received and not yet read.
int socket_unread(RawSocket socket);
void socket_shutdown(RawSocket socket);
// Non-blocking, as every socket the library connects is.
bool socket_make_nonblocking(RawSocket socket);
void socket_close(RawSocket socket);
// Closes so that the very next write of the other end fails: a reset for
// TCP (Windows pairs), a plain close for a socketpair.
void socket_reset(RawSocket socket);

// Environment variables of the process, as the C runtime sees them.
void set_variable(const char *name, const char *value);
void unset_variable(const char *name);
// Makes the C runtime read TZ again.
void reread_time_zone();

// A new empty folder under the system's temporary folder, named after
// `prefix`; an empty path when none could be made.
std::filesystem::path make_scratch_folder(const std::string &prefix);

// A pipe as two native files (read end first), for File to own.
bool file_pipe(std::intptr_t ends[2]);

// A new file (never one that is there) open for writing only, as a native
// file for File to own; -1 when it cannot be made.
std::intptr_t create_for_writing(const std::string &path);

// Whether a native file (a descriptor, or a HANDLE on Windows) is open.
bool native_file_open(std::intptr_t native);

} // namespace lsmtp::test
