// What each system backend (posix/, win32/) gives the shared fronts
// (clock.cpp, random.cpp, file.cpp, socket.cpp). Only the fronts call these,
// once the test seams have had their say; nothing here looks at the seams.
#pragma once

#include "platform/clock.h"
#include "platform/endpoint.h"
#include "platform/file.h"
#include "platform/socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lsmtp::platform::backend {

// What a backend's wait for a socket came to; the failure is the
// system's last error, taken by the caller at once.
enum class Wait { ready, timed_out, failed };

WallClock wall_clock_now();
void pause_milliseconds(int milliseconds);

Failure fill_random(unsigned char *out, std::size_t size);
std::uint32_t process_id();

// File calls on a file the front has found open.
File::Read read_file(File::Native file, char *buffer, std::size_t capacity);
Failure write_file(File::Native file, const char *data, std::size_t length);
Failure rewind_file(File::Native file);
File::Offset file_size(File::Native file);
File::Offset file_position(File::Native file);
Failure close_file(File::Native file);

OpenedFile open_for_reading(const std::string &path);
// A file without a name in `folder`; fails as unnamed_unsupported says where
// the system or the file system has none (Windows never has).
OpenedFile create_unnamed(const std::string &folder);
bool unnamed_unsupported(const Failure &failure);
// A new private file under `path`, as create_scratch describes it.
OpenedFile create_private(const std::string &path);
// Takes the name of a private file just made away from it: unlinked on
// POSIX; on Windows nothing to do, the file goes when it is closed.
Failure remove_name(const std::string &path);

// Starts the system's socket library for a SocketLibrary, and stops it
// again.
Failure start_sockets();
void stop_sockets();

// A new socket of the endpoint's family, moved into `socket` when made.
Failure open_socket(Socket &socket, const Endpoint &endpoint);
// Connects the new socket before the deadline, with Nagle's delay off.
Failure connect_socket(Socket &socket, const Endpoint &endpoint, Deadline deadline);
Received receive_before(Socket &socket, char *buffer, std::size_t capacity, Deadline deadline);
Failure send_all(const Socket &socket, const char *data, std::size_t length, std::chrono::milliseconds stall_limit);
// Ends the connection both ways, as a broken one would be.
void shut_down(const Socket &socket);
void close_socket(Socket::Native socket);

} // namespace lsmtp::platform::backend
