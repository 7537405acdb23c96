// The connection to the server: numeric hosts and names under one deadline,
// every address of a name in turn.
#include "mail_call.h"
#include "platform/failure.h"
#include "scripted.h"
#include "platform/seams.h"
#include "platform/socket.h"
#include "portable.h"
#include "smtp_test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include "system_files.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#endif

using lsmtp::platform::ConnectOutcome;
using lsmtp::test::MailCall;
using namespace std::chrono_literals;

namespace {

// The threads the lookups made on behalf of the calling thread ran on.
class LookupLog {
public:
    explicit LookupLog(bool allow)
    {
        lsmtp::platform::Seams seams;
        seams.allow_call = [this, allow](lsmtp::platform::Call call, std::size_t) {
            if (call != lsmtp::platform::Call::lookup)
                return true;
            const std::lock_guard lock(mutex_);
            lookups_.push_back(std::this_thread::get_id());
            return allow;
        };
        installed_.emplace(std::move(seams));
    }
    std::vector<std::thread::id> lookups()
    {
        const std::lock_guard lock(mutex_);
        return lookups_;
    }

private:
    std::mutex mutex_;
    std::vector<std::thread::id> lookups_;
    std::optional<lsmtp::platform::ScopedSeams> installed_;
};

TEST(Connect, NumericHostsAreReadWithoutALookup)
{
    lsmtp::test::SmtpTestServer ipv4("127.0.0.1");
    lsmtp::test::SmtpTestServer ipv6("::1");
    LookupLog log(true);
    // "127.1" is dotted text as inet_addr reads it: 127.0.0.1.
    for (const char *host : {"127.0.0.1", "127.1", "::1", "[::1]"}) {
        MailCall call;
        call.smtp_host = host;
        ASSERT_EQ(call.send(), 221) << host;  // the servers came first: stop at the first call that fails
    }
    EXPECT_TRUE(log.lookups().empty());
    EXPECT_EQ(ipv4.sessions(2).size(), 2u);
    EXPECT_EQ(ipv6.sessions(2).size(), 2u);
}

TEST(Connect, NamesAreLookedUpOnAWorkerThatCarriesTheCallersSeams)
{
    LookupLog log(false);
    for (const char *host : {"mail.example.test", "[mail.example.test]"}) {
        MailCall call;
        call.smtp_host = host;
        EXPECT_EQ(call.send(), SMTP_ERR_CONNECT) << host;
    }
    const auto lookups = log.lookups();
    ASSERT_EQ(lookups.size(), 2u);
    for (const std::thread::id thread : lookups)
        EXPECT_NE(thread, std::this_thread::get_id());
}

// Small writes leave at once, and no read or write can block past its wait:
// the listener never accepts, so nothing is ever read or answered.
TEST(Connect, TheConnectedSocketHasNoNaglesDelayAndNoWaitPastItsLimit)
{
    const lsmtp::test::RawSocket listener = lsmtp::test::loopback_listener(2526, 4);
    ASSERT_NE(listener, lsmtp::test::no_socket);
    lsmtp::platform::Socket socket;
    ASSERT_EQ(lsmtp::platform::connect_to_host(socket, "127.0.0.1", 2526, lsmtp::platform::deadline_after(5s)).outcome,
              ConnectOutcome::connected);
    int no_delay = 0;
    socklen_t size = sizeof no_delay;
    ASSERT_EQ(getsockopt(socket.native(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&no_delay), &size), 0);
    EXPECT_NE(no_delay, 0);

    const auto start = std::chrono::steady_clock::now();
    char byte = 0;
    EXPECT_EQ(lsmtp::platform::receive_before(socket, &byte, 1, lsmtp::platform::deadline_after(200ms)).status,
              lsmtp::platform::Received::Status::timed_out);
    const std::string block(16 << 20, 's');
    EXPECT_EQ(lsmtp::platform::send_all(socket, block.data(), block.size(), 200ms).code,
              lsmtp::platform::timed_out().code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    lsmtp::test::socket_close(listener);
}

// A connection attempt the server never answers ends at its deadline: the
// listener's queue is full, so the attempt's SYN is dropped.
TEST(Connect, AnAttemptNeverAnsweredEndsAtItsDeadline)
{
    const lsmtp::test::RawSocket listener = lsmtp::test::loopback_listener(2525, 0);
    ASSERT_NE(listener, lsmtp::test::no_socket);
    // Fill the queue: this connection completes but is never accepted.
    lsmtp::platform::Socket filler;
    ASSERT_EQ(lsmtp::platform::connect_to_host(filler, "127.0.0.1", 2525, lsmtp::platform::deadline_after(5s)).outcome,
              ConnectOutcome::connected);

    lsmtp::platform::Socket waiting;
    const auto start = std::chrono::steady_clock::now();
    const bool connected =
        lsmtp::platform::connect_to_host(waiting, "127.0.0.1", 2525, lsmtp::platform::deadline_after(1s)).outcome ==
        ConnectOutcome::connected;
    const auto took = std::chrono::steady_clock::now() - start;
    lsmtp::test::socket_close(listener);
    EXPECT_FALSE(connected);
    EXPECT_GE(took, 1s);
    EXPECT_LT(took, 5s);
}

#ifndef _WIN32

// A name server that takes every query and never answers: glibc's resolver
// alone would wait two rounds of 30 s before giving up.
TEST(Connect, SilentNameServerCannotHoldTheCallPastItsLimit)
{
    const int silent = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(53);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(silent, reinterpret_cast<const sockaddr *>(&server), sizeof server), 0);

    const auto start = std::chrono::steady_clock::now();
    const std::optional<int> result =
        lsmtp::test::run_with_system_files({{"/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:2\n"}}, [] {
            MailCall call;
            call.smtp_host = "mail.silent.test";
            return call.send();
        });
    const auto took = std::chrono::steady_clock::now() - start;
    close(silent);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, SMTP_ERR_CONNECT);
    // The whole call's limit is 15 s, lookup included.
    EXPECT_GE(took, 15s);
    EXPECT_LT(took, 40s);
}

lsmtp::test::RawSocket listener_on(int family, std::uint16_t port, int backlog)
{
    const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(port);
    ipv6.sin6_addr = in6addr_loopback;
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int bound = family == AF_INET6 ? bind(fd, reinterpret_cast<const sockaddr *>(&ipv6), sizeof ipv6)
                                         : bind(fd, reinterpret_cast<const sockaddr *>(&ipv4), sizeof ipv4);
    if (bound != 0 || listen(fd, backlog) != 0) {
        close(fd);
        return lsmtp::test::no_socket;
    }
    return fd;
}

// Names with several addresses (the resolver puts ::1 before 127.0.0.1).
// Listening, on loopback: 127.0.0.1 on ports 2526 and 2527, ::1 on 2528;
// ::1 port 2527 takes nothing more, so a connection attempt there is never
// answered.
TEST(Connect, EveryAddressOfANameIsTriedInTurn)
{
    const std::vector<lsmtp::test::RawSocket> listeners = {
        listener_on(AF_INET, 2526, 16), listener_on(AF_INET, 2527, 16), listener_on(AF_INET6, 2528, 16),
        listener_on(AF_INET6, 2527, 0)};
    for (lsmtp::test::RawSocket listener : listeners)
        ASSERT_NE(listener, lsmtp::test::no_socket);
    lsmtp::platform::Socket filler;
    ASSERT_EQ(lsmtp::platform::connect_to_host(filler, "::1", 2527, lsmtp::platform::deadline_after(5s)).outcome,
              ConnectOutcome::connected);

    const std::vector<lsmtp::test::SystemFile> hosts = {{"/etc/hosts", "::1 two.test\n127.0.0.1 two.test\n"
                                                                       "::1 six.test\n"
                                                                       "127.0.0.1 four.test\n"}};
    struct Case {
        const char *host;
        std::uint16_t port;
        ConnectOutcome expected;
    };
    const Case cases[] = {
        {"two.test", 2526, ConnectOutcome::connected},  // ::1 refuses
        {"two.test", 2527, ConnectOutcome::connected},  // ::1 never answers: half the time is its share
        {"six.test", 2528, ConnectOutcome::connected},
        {"six.test", 2526, ConnectOutcome::failed},
        {"four.test", 2528, ConnectOutcome::failed},
    };
    for (const Case &c : cases) {
        const std::optional<int> outcome = lsmtp::test::run_with_system_files(hosts, [&] {
            lsmtp::platform::Socket socket;
            return static_cast<int>(
                lsmtp::platform::connect_to_host(socket, c.host, c.port, lsmtp::platform::deadline_after(4s)).outcome);
        });
        EXPECT_EQ(outcome, static_cast<int>(c.expected)) << c.host << " port " << c.port;
    }
    for (lsmtp::test::RawSocket listener : listeners)
        lsmtp::test::socket_close(listener);

    // The whole call, through a refusing first address.
    lsmtp::test::SmtpTestServer server("127.0.0.1");
    const std::optional<int> result = lsmtp::test::run_with_system_files(hosts, [] {
        MailCall call;
        call.smtp_host = "two.test";
        return call.send();
    });
    EXPECT_EQ(result, 221);
    EXPECT_EQ(server.sessions(1).size(), 1u);
}

// A lookup that takes most of the limit leaves the connection only the
// rest: a slow resolver and then a server that never answers end the call
// at 15 s, not 15 s after the lookup.
TEST(Connect, TheLookupAndTheConnectionShareOneLimit)
{
    const lsmtp::test::RawSocket listener = listener_on(AF_INET, 25, 0);
    ASSERT_NE(listener, lsmtp::test::no_socket);
    lsmtp::platform::Socket filler;  // fills the queue: the next attempt is never answered
    ASSERT_EQ(lsmtp::platform::connect_to_host(filler, "127.0.0.1", 25, lsmtp::platform::deadline_after(5s)).outcome,
              ConnectOutcome::connected);
    const auto start = std::chrono::steady_clock::now();
    const std::optional<int> result =
        lsmtp::test::run_with_system_files({{"/etc/hosts", "127.0.0.1 slow.test\n"}}, [] {
            lsmtp::platform::Seams seams;
            seams.allow_call = [](lsmtp::platform::Call call, std::size_t) {
                if (call == lsmtp::platform::Call::lookup)
                    std::this_thread::sleep_for(10s);  // a resolver that takes its time, then answers
                return true;
            };
            const lsmtp::platform::ScopedSeams slow(std::move(seams));
            MailCall call;
            call.smtp_host = "slow.test";
            return call.send();
        });
    const auto took = std::chrono::steady_clock::now() - start;
    close(listener);
    EXPECT_EQ(result, SMTP_ERR_CONNECT);
    EXPECT_GE(took, 14s);
    EXPECT_LT(took, 22s);  // a fresh 15 s after the lookup would take 25
}

volatile std::sig_atomic_t signals_handled = 0;

// A signal whose handler asks for no restart comes while connect waits on
// an attempt that the listener's full queue leaves unanswered. The attempt
// goes on for the time left: it connects once the queue has room (the
// next SYN is taken), or ends at its deadline in the system's words; no
// descriptor is left either way.
TEST(Connect, AnAttemptInterruptedBySignalGoesOn)
{
    struct sigaction counting {}, previous{};
    counting.sa_handler = [](int) { signals_handled = signals_handled + 1; };
    ASSERT_EQ(sigaction(SIGUSR1, &counting, &previous), 0);  // sa_flags: no SA_RESTART
    const std::string connect_number = std::to_string(SYS_connect) + " ";
    const std::string syscall_file = "/proc/self/task/" + std::to_string(gettid()) + "/syscall";
    const pthread_t caller = pthread_self();
    for (const bool room : {true, false}) {
        const std::size_t descriptors = lsmtp::test::open_descriptors();
        const std::uint16_t port = room ? 2529 : 2530;
        const lsmtp::test::RawSocket listener = listener_on(AF_INET, port, 0);
        ASSERT_NE(listener, lsmtp::test::no_socket);
        lsmtp::platform::ConnectResult result;
        {
            lsmtp::platform::Socket filler;
            ASSERT_EQ(lsmtp::platform::connect_to_host(filler, "127.0.0.1", port, lsmtp::platform::deadline_after(5s))
                          .outcome,
                      ConnectOutcome::connected);
            signals_handled = 0;
            // Signals the caller once it waits in connect, then makes room.
            std::thread interrupter([&] {
                const auto due = std::chrono::steady_clock::now() + 5s;
                auto in_connect = [&] {
                    std::ifstream state(syscall_file);
                    std::string line;
                    return std::getline(state, line) && line.starts_with(connect_number);
                };
                while (!in_connect() && std::chrono::steady_clock::now() < due)
                    std::this_thread::yield();
                pthread_kill(caller, SIGUSR1);
                while (signals_handled == 0 && std::chrono::steady_clock::now() < due)
                    std::this_thread::yield();
                if (room)
                    close(accept(listener, nullptr, nullptr));
            });
            lsmtp::platform::Socket socket;
            result = lsmtp::platform::connect_to_host(socket, "127.0.0.1", port,
                                                      lsmtp::platform::deadline_after(room ? 10s : 1s));
            interrupter.join();
        }
        close(listener);
        EXPECT_EQ(signals_handled, 1) << room;
        EXPECT_EQ(result.outcome, room ? ConnectOutcome::connected : ConnectOutcome::failed);
        EXPECT_EQ(result.failure.text, room ? "" : "127.0.0.1: " + lsmtp::platform::failure_of(ETIMEDOUT).text);
        EXPECT_EQ(lsmtp::test::open_descriptors(), descriptors) << room;
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

// A bracketed name is looked up without its brackets, as mail domains
// write addresses.
TEST(Connect, BracketsAroundANameAreDropped)
{
    lsmtp::test::SmtpTestServer server;
    const std::vector<lsmtp::test::SystemFile> hosts = {{"/etc/hosts", "127.0.0.1 bracketed.test\n"}};
    const std::optional<int> result = lsmtp::test::run_with_system_files(hosts, [] {
        MailCall call;
        call.smtp_host = "[bracketed.test]";
        return call.send();
    });
    EXPECT_EQ(result, 221);
}
#endif

} // namespace
