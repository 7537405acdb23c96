#include "portable.h"

#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace lsmtp::test {

#ifdef _WIN32

namespace {

SOCKET native(RawSocket socket) { return static_cast<SOCKET>(socket); }
RawSocket raw(SOCKET socket) { return socket == INVALID_SOCKET ? no_socket : static_cast<RawSocket>(socket); }

} // namespace

bool socket_pair(RawSocket ends[2])
{
    ends[0] = ends[1] = no_socket;
    const RawSocket listener = loopback_listener(0, 1);
    sockaddr_in local{};
    int size = sizeof local;
    if (listener != no_socket && getsockname(native(listener), reinterpret_cast<sockaddr *>(&local), &size) == 0) {
        ends[0] = raw(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (ends[0] != no_socket &&
            connect(native(ends[0]), reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0)
            ends[1] = raw(accept(native(listener), nullptr, nullptr));
    }
    if (listener != no_socket)
        socket_close(listener);
    if (ends[1] != no_socket)
        return true;
    if (ends[0] != no_socket)
        socket_close(ends[0]);
    ends[0] = no_socket;
    return false;
}

RawSocket loopback_listener(std::uint16_t port, int backlog)
{
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return no_socket;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        listen(listener, backlog) != 0) {
        closesocket(listener);
        return no_socket;
    }
    return raw(listener);
}

long socket_read(RawSocket socket, char *buffer, std::size_t capacity)
{
    return recv(native(socket), buffer, static_cast<int>(capacity), 0);
}

long socket_write(RawSocket socket, const char *data, std::size_t length)
{
    return send(native(socket), data, static_cast<int>(length), 0);
}

int socket_unread(RawSocket socket)
{
    u_long count = 0;
    ioctlsocket(native(socket), FIONREAD, &count);
    return static_cast<int>(count);
}

void socket_shutdown(RawSocket socket) { shutdown(native(socket), SD_BOTH); }

bool socket_make_nonblocking(RawSocket socket)
{
    u_long on = 1;
    return ioctlsocket(native(socket), FIONBIO, &on) == 0;
}
void socket_close(RawSocket socket) { closesocket(native(socket)); }

void socket_reset(RawSocket socket)
{
    const linger abort_at_once{1, 0};
    setsockopt(native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&abort_at_once),
               sizeof abort_at_once);
    closesocket(native(socket));
}

void set_variable(const char *name, const char *value) { _putenv_s(name, value); }
// An empty value removes the variable from the Windows runtime's table.
void unset_variable(const char *name) { _putenv_s(name, ""); }
void reread_time_zone() { _tzset(); }

bool file_pipe(std::intptr_t ends[2])
{
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, nullptr, 0))
        return false;
    ends[0] = reinterpret_cast<std::intptr_t>(read_end);
    ends[1] = reinterpret_cast<std::intptr_t>(write_end);
    return true;
}

std::intptr_t create_for_writing(const std::string &path)
{
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(file);
}

bool native_file_open(std::intptr_t native)
{
    DWORD flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(native), &flags) != 0;
}

#else

bool socket_pair(RawSocket ends[2])
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    ends[0] = fds[0];
    ends[1] = fds[1];
    return true;
}

RawSocket loopback_listener(std::uint16_t port, int backlog)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0)
        return no_socket;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        listen(listener, backlog) != 0) {
        close(listener);
        return no_socket;
    }
    return listener;
}

long socket_read(RawSocket socket, char *buffer, std::size_t capacity)
{
    return static_cast<long>(read(static_cast<int>(socket), buffer, capacity));
}

long socket_write(RawSocket socket, const char *data, std::size_t length)
{
    return static_cast<long>(write(static_cast<int>(socket), data, length));
}

int socket_unread(RawSocket socket)
{
    int count = 0;
    ioctl(static_cast<int>(socket), FIONREAD, &count);
    return count;
}

void socket_shutdown(RawSocket socket) { shutdown(static_cast<int>(socket), SHUT_RDWR); }

bool socket_make_nonblocking(RawSocket socket)
{
    const int flags = fcntl(static_cast<int>(socket), F_GETFL);
    return flags >= 0 && fcntl(static_cast<int>(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}
void socket_close(RawSocket socket) { close(static_cast<int>(socket)); }
void socket_reset(RawSocket socket) { close(static_cast<int>(socket)); }

void set_variable(const char *name, const char *value) { setenv(name, value, 1); }
void unset_variable(const char *name) { unsetenv(name); }
void reread_time_zone() { tzset(); }

bool file_pipe(std::intptr_t ends[2])
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    ends[0] = fds[0];
    ends[1] = fds[1];
    return true;
}

std::intptr_t create_for_writing(const std::string &path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

bool native_file_open(std::intptr_t native) { return fcntl(static_cast<int>(native), F_GETFD) != -1; }

#endif

std::filesystem::path make_scratch_folder(const std::string &prefix)
{
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        return {};
#ifdef _WIN32
    std::random_device seed;
    std::mt19937_64 pick(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder = base / (prefix + std::to_string(pick() % 1000000000));
        // create_directory is false for a name that exists: try another.
        if (std::filesystem::create_directory(folder, error))
            return folder;
        if (error)
            return {};
    }
    return {};
#else
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
#endif
}

} // namespace lsmtp::test
