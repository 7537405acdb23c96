#include "smtp_test_server.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace lsmtp::test {
namespace {

// The few socket calls that differ between Windows Sockets and POSIX. A
// socket is kept in an int on both: Windows handles fit in 32 bits.
#ifdef _WIN32
using ssize_t = int;
constexpr int MSG_NOSIGNAL = 0; // Windows raises no signal for a closed peer
constexpr int SHUT_RDWR = SD_BOTH;

SOCKET native(int fd) { return static_cast<SOCKET>(fd); }
int fd_of(SOCKET handle) { return handle == INVALID_SOCKET ? -1 : static_cast<int>(handle); }
bool interrupted() { return WSAGetLastError() == WSAEINTR; }
ssize_t send(int fd, const char *data, std::size_t length, int flags)
{
    return ::send(native(fd), data, static_cast<int>(length), flags);
}
ssize_t recv(int fd, char *data, std::size_t length, int flags)
{
    return ::recv(native(fd), data, static_cast<int>(length), flags);
}
int shutdown(int fd, int how) { return ::shutdown(native(fd), how); }
int close(int fd) { return closesocket(native(fd)); }
int listening_socket(int family) { return fd_of(::socket(family, SOCK_STREAM, IPPROTO_TCP)); }
int accept_connection(int listen_fd) { return fd_of(::accept(native(listen_fd), nullptr, nullptr)); }
template <typename Value> int set_option(int fd, int level, int name, const Value &value)
{
    return setsockopt(native(fd), level, name, reinterpret_cast<const char *>(&value), sizeof value);
}
int bind_to(int fd, const addrinfo &local) { return ::bind(native(fd), local.ai_addr, static_cast<int>(local.ai_addrlen)); }
int listen_on(int fd, int backlog) { return ::listen(native(fd), backlog); }

// Windows has no pipe that poll can watch: a connected pair of sockets
// wakes the acceptor instead.
int pipe(int ends[2])
{
    RawSocket pair[2];
    if (!socket_pair(pair))
        return -1;
    ends[0] = static_cast<int>(pair[0]);
    ends[1] = static_cast<int>(pair[1]);
    return 0;
}
int write(int fd, const char *data, std::size_t length) { return send(fd, data, length, 0); }
int wait_for_input(int first, int second)
{
    WSAPOLLFD watched[2] = {{native(first), POLLIN, 0}, {native(second), POLLIN, 0}};
    const int ready = WSAPoll(watched, 2, -1);
    return ready < 0 ? -1 : (watched[1].revents != 0 ? 1 : 0);
}
// Returns once the peer has closed or reset the connection.
void wait_for_hang_up(int fd)
{
    WSAPOLLFD watched{native(fd), POLLPRI, 0};
    WSAPoll(&watched, 1, -1);
}
bool input_within(int fd, std::chrono::milliseconds limit)
{
    WSAPOLLFD watched{native(fd), POLLIN, 0};
    return WSAPoll(&watched, 1, static_cast<int>(limit.count())) != 0;
}
#else
bool interrupted() { return errno == EINTR; }
int listening_socket(int family) { return socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0); }
int accept_connection(int listen_fd) { return accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC); }
template <typename Value> int set_option(int fd, int level, int name, const Value &value)
{
    return setsockopt(fd, level, name, &value, sizeof value);
}
int bind_to(int fd, const addrinfo &local) { return bind(fd, local.ai_addr, local.ai_addrlen); }
int listen_on(int fd, int backlog) { return listen(fd, backlog); }
// Waits for a connection on `first` or a wake-up on `second`: -1 on error,
// 1 for the wake-up, 0 for a connection.
int wait_for_input(int first, int second)
{
    pollfd watched[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
    if (poll(watched, 2, -1) < 0)
        return -1;
    return watched[1].revents != 0 ? 1 : 0;
}
// Returns once the peer has closed the connection, reading nothing.
void wait_for_hang_up(int fd)
{
    pollfd watched{fd, POLLRDHUP, 0};
    while (poll(&watched, 1, -1) < 0 && interrupted()) {
    }
}
// Whether bytes (or the peer's close, or an error) come within the limit,
// which a signal starts again.
bool input_within(int fd, std::chrono::milliseconds limit)
{
    pollfd watched{fd, POLLIN, 0};
    int ready;
    while ((ready = poll(&watched, 1, static_cast<int>(limit.count()))) < 0 && interrupted()) {
    }
    return ready != 0;
}
#endif

const std::map<std::string, std::string> default_replies = {
    {"greeting", "220 test.invalid ready\r\n"},
    {"HELO", "250 test.invalid\r\n"},
    {"MAIL", "250 sender ok\r\n"},
    {"RCPT", "250 recipient ok\r\n"},
    {"DATA", "354 go ahead\r\n"},
    {".", "250 queued\r\n"},
    {"QUIT", "221 bye\r\n"},
};

// A client goes on at once after each reply, and a test asks for its
// sessions once the client is done: a wait this long means what was due
// is not coming. The safety limit is for sessions kept open on purpose.
constexpr std::chrono::seconds due_within{5}, safety_limit{60};

// The test in which a session went overdue: its further rows would each
// wait as long again.
std::atomic<const void *> overdue_test{nullptr};

const void *current_test() { return ::testing::UnitTest::GetInstance()->current_test_info(); }

std::runtime_error overdue_error()
{
    return std::runtime_error("the test server had nothing from the client for " +
                              std::to_string(due_within.count()) + " s when its next line was due");
}

void write_all(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            if (sent < 0 && interrupted())
                continue;
            return;
        }
        done += static_cast<std::size_t>(sent);
    }
}

std::string command_key(const std::string &line)
{
    std::string key;
    for (char c : line) {
        if (c == ' ' || c == ':')
            break;
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return key;
}

} // namespace

SmtpTestServer::SmtpTestServer(std::string address, std::uint16_t port)
    : address_(std::move(address)), test_(current_test())
{
    if (test_ != nullptr && overdue_test.load() == test_)
        throw overdue_error();
    // IPv4 or IPv6 text alike.
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *local = nullptr;
    if (getaddrinfo(address_.c_str(), std::to_string(port).c_str(), &hints, &local) == 0) {
        listen_fd_ = listening_socket(local->ai_family);
        const int on = 1;
        set_option(listen_fd_, SOL_SOCKET, SO_REUSEADDR, on);
    }
    if (listen_fd_ < 0 || bind_to(listen_fd_, *local) != 0 || listen_on(listen_fd_, 16) != 0 ||
        pipe(wake_pipe_) != 0) {
        if (local != nullptr)
            freeaddrinfo(local);
        if (listen_fd_ >= 0)
            close(listen_fd_);
        throw std::runtime_error("test server cannot listen on " + address_ + " (run inside a network namespace)");
    }
    freeaddrinfo(local);
    acceptor_ = std::thread([this] { accept_loop(); });
}

SmtpTestServer::~SmtpTestServer()
{
    const char wake = 'x';
    (void)!write(wake_pipe_[1], &wake, 1);
    acceptor_.join();
    {
        std::lock_guard lock(mutex_);
        for (int fd : open_fds_)
            shutdown(fd, SHUT_RDWR);
    }
    for (std::thread &handler : handlers_)
        handler.join();
    close(listen_fd_);
    close(wake_pipe_[0]);
    close(wake_pipe_[1]);
}

void SmtpTestServer::reply(const std::string &key, ScriptedReply reply)
{
    std::lock_guard lock(mutex_);
    replies_[key] = std::move(reply);
}

void SmtpTestServer::reply(const std::string &key, int nth, ScriptedReply reply)
{
    std::lock_guard lock(mutex_);
    nth_replies_[{key, nth}] = std::move(reply);
}

ScriptedReply SmtpTestServer::reply_for(const std::string &key, int use)
{
    std::lock_guard lock(mutex_);
    if (auto nth = nth_replies_.find({key, use}); nth != nth_replies_.end())
        return nth->second;
    if (auto every = replies_.find(key); every != replies_.end())
        return every->second;
    if (auto standard = default_replies.find(key); standard != default_replies.end())
        return ScriptedReply{standard->second, {}, false, false};
    return ScriptedReply{"500 unknown command\r\n", {}, false, false};
}

std::vector<RecordedSession> SmtpTestServer::sessions(std::size_t count)
{
    std::unique_lock lock(mutex_);
    const auto all_ended = [&] {
        return static_cast<std::size_t>(std::count(ended_.begin(), ended_.end(), true)) >= count;
    };
    // Past the due time, a connection that never came is not coming; one
    // still open ends by the client or by its own due time.
    if (!changed_.wait_for(lock, due_within, all_ended))
        changed_.wait_for(lock, safety_limit, [&] { return all_ended() || open_fds_.empty(); });
    if (overdue_)
        throw overdue_error();
    return sessions_;
}

std::size_t SmtpTestServer::connections_accepted()
{
    std::lock_guard lock(mutex_);
    return sessions_.size();
}

void SmtpTestServer::accept_loop()
{
    for (;;) {
        const int woken = wait_for_input(listen_fd_, wake_pipe_[0]);
        if (woken < 0) {
            if (interrupted())
                continue;
            return;
        }
        if (woken > 0)
            return;
        const int fd = accept_connection(listen_fd_);
        if (fd < 0)
            continue;
        const int on = 1;
        set_option(fd, IPPROTO_TCP, TCP_NODELAY, on);
        std::lock_guard lock(mutex_);
        const std::size_t index = sessions_.size();
        sessions_.emplace_back();
        ended_.push_back(false);
        open_fds_.push_back(fd);
        handlers_.emplace_back([this, fd, index] { serve(fd, index); });
    }
}

void SmtpTestServer::serve(int fd, std::size_t index)
{
    std::map<std::string, int> uses;
    bool in_data = false;
    bool silent = false;
    bool reset = false;
    bool stalled = false;
    bool open = true;
    std::string pending;  // received bytes not yet taken as a command line or data

    auto answer = [&](const std::string &key) {
        const ScriptedReply reply = reply_for(key, ++uses[key]);
        if (reply.close || reply.reset) {
            open = false;
            reset = reply.reset;
            return;
        }
        if (reply.silent) {
            silent = true;
            return;
        }
        std::size_t from = 0;
        for (std::size_t split : reply.splits) {
            write_all(fd, reply.text.substr(from, split - from));
            from = split;
        }
        write_all(fd, reply.text.substr(from));
        if (key == "DATA" && !reply.text.empty() && reply.text[0] == '3')
            in_data = true;
        if (key == "QUIT" || reply.close_after)
            open = false;
        stalled = reply.stop_reading;
    };

    answer("greeting");
    char chunk[4096];
    while (open) {
        if (stalled) {
            // Nothing is read, so the client's writes fill the window and
            // wait; the connection ends when the client closes it.
            wait_for_hang_up(fd);
            break;
        }
        // Unless the script keeps silent, the client's next bytes are due
        // at once: a reply that never went out, or a line that got lost,
        // ends the session here instead of at the client's long limit.
        if (!silent && !input_within(fd, due_within)) {
            std::fprintf(stderr, "%s: the connection closed\n", overdue_error().what());
            std::lock_guard lock(mutex_);
            overdue_ = true;
            overdue_test = test_;
            break;
        }
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && interrupted())
            continue;
        if (got <= 0)
            break;
        {
            std::lock_guard lock(mutex_);
            sessions_[index].received.append(chunk, static_cast<std::size_t>(got));
        }
        if (silent)
            continue;
        pending.append(chunk, static_cast<std::size_t>(got));
        while (open && !silent) {
            if (in_data) {
                // The data ends with a line holding a lone "."; the CR LF of
                // the DATA command counts as the line end before it.
                const std::string framed = "\r\n" + pending;
                const std::size_t end = framed.find("\r\n.\r\n");
                if (end == std::string::npos) {
                    const std::size_t early = reply_for(".", uses["."] + 1).after_data_bytes;
                    if (early > 0 && pending.size() >= early)
                        answer(".");
                    break;
                }
                {
                    std::lock_guard lock(mutex_);
                    sessions_[index].data = pending.substr(0, end);
                    sessions_[index].data_complete = true;
                }
                pending.erase(0, end + 3);
                in_data = false;
                answer(".");
                continue;
            }
            const std::size_t line_end = pending.find("\r\n");
            if (line_end == std::string::npos)
                break;
            const std::string line = pending.substr(0, line_end);
            pending.erase(0, line_end + 2);
            {
                std::lock_guard lock(mutex_);
                sessions_[index].commands.push_back(line);
            }
            answer(command_key(line));
        }
    }
    if (in_data) {
        std::lock_guard lock(mutex_);
        sessions_[index].data = pending;
    }
    if (reset)
        set_option(fd, SOL_SOCKET, SO_LINGER, linger{1, 0});  // the close aborts at once
    else
        shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(mutex_);
    close(fd);
    open_fds_.erase(std::find(open_fds_.begin(), open_fds_.end(), fd));
    ended_[index] = true;
    changed_.notify_all();
}

} // namespace lsmtp::test
