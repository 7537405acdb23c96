// Host text to socket addresses: the same calls on every platform, only the
// headers differ. Numeric hosts are read in place; names are looked up on a
// worker thread, because no resolver call can be bounded by a deadline or
// cancelled once it runs (getaddrinfo_a cannot stop a running lookup, and
// Wine ignores GetAddrInfoExW's timeout).
#include "platform/endpoint.h"
#include "platform/backend.h"
#include "platform/seams.h"
#include "platform/socket.h"
#include "platform/thread.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <condition_variable>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace lsmtp::platform {
namespace {

// The endpoint that holds `address`, a sockaddr_in or a sockaddr_in6.
template <typename SocketAddress>
Endpoint endpoint_of(const SocketAddress &address)
{
    Endpoint endpoint;
    std::memcpy(&endpoint.address, &address, sizeof address);
    endpoint.length = sizeof address;
    return endpoint;
}

Endpoint ipv4_endpoint(in_addr address, std::uint16_t port)
{
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(port);
    ipv4.sin_addr = address;
    return endpoint_of(ipv4);
}

// "a.b.c.d" in plain decimal, each part at most 255 without a leading zero:
// the usual numeric host, read by hand (inet_addr goes through strtoul for
// every part). inet_addr's other forms (octal, hexadecimal, fewer parts,
// white space after) and 255.255.255.255, which it takes for a failure, are
// left to it.
bool plain_dotted_quad(const char *host, in_addr &address)
{
    std::uint32_t value = 0;
    const char *at = host;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *at++ != '.')
            return false;
        if (*at < '0' || *at > '9' || (*at == '0' && at[1] >= '0' && at[1] <= '9'))
            return false;
        std::uint32_t octet = 0;
        for (int digits = 0; *at >= '0' && *at <= '9'; ++at) {
            if (++digits > 3)
                return false;
            octet = octet * 10 + static_cast<std::uint32_t>(*at - '0');
        }
        if (octet > 255)
            return false;
        value = value << 8 | octet;
    }
    address.s_addr = htonl(value);
    return *at == '\0' && address.s_addr != INADDR_NONE;
}

Endpoint ipv6_endpoint(const in6_addr &address, std::uint16_t port)
{
    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(port);
    ipv6.sin6_addr = address;
    return endpoint_of(ipv6);
}

// "[::1]" as written in URLs and mail domains; anything else as it is.
std::string without_brackets(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return std::string(host);
}

// The resolver's word for one of its codes. Windows' gai_strerror gives it
// in the ANSI code page; its codes are the system's, worded in UTF-16.
#if defined(_WIN32)
Failure resolver_failure(int code) { return failure_of(code); }
#else
Failure resolver_failure(int code) { return {.resolver = code, .text = gai_strerror(code)}; }
#endif

// The addresses getaddrinfo gives for a name, in its order, with the port
// set; the resolver's word when it found none. Runs on the lookup worker.
FoundEndpoints endpoints_of_name(const std::string &name, std::uint16_t port)
{
    if (!call_allowed_by_seams(Call::lookup))
        return {{}, resolver_failure(EAI_NONAME)};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *found = nullptr;
    if (const int failed = getaddrinfo(name.c_str(), nullptr, &hints, &found); failed != 0) {
#if !defined(_WIN32)
        if (failed == EAI_SYSTEM)
            return {{}, last_failure()};
#endif
        return {{}, resolver_failure(failed), failed == EAI_AGAIN};
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
    std::vector<Endpoint> endpoints;
    for (const addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET)
            endpoints.push_back(ipv4_endpoint(reinterpret_cast<const sockaddr_in *>(entry->ai_addr)->sin_addr, port));
        if (entry->ai_family == AF_INET6) {
            // Keeps the scope of a link-local address.
            sockaddr_in6 ipv6;
            std::memcpy(&ipv6, entry->ai_addr, sizeof ipv6);
            ipv6.sin6_port = htons(port);
            endpoints.push_back(endpoint_of(ipv6));
        }
    }
    return {std::move(endpoints), {}};
}

// What the caller and the worker share. Each holds a reference, so
// whichever lets go last frees it: the caller may leave at its deadline
// while the worker is still inside the resolver.
struct Lookup {
    std::string name;
    std::uint16_t port = 0;
    CarriedSeams seams;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    FoundEndpoints found;
};

void run_lookup(void *context)
{
    const std::unique_ptr<std::shared_ptr<Lookup>> handed(static_cast<std::shared_ptr<Lookup> *>(context));
    const std::shared_ptr<Lookup> lookup = std::move(*handed);
    // The caller stops Windows Sockets when it gives up at its deadline; the
    // worker keeps a start of its own for as long as its lookup runs.
    const SocketLibrary socket_library;
    FoundEndpoints found;
    {
        const ScopedSeams seams(lookup->seams);
        try {
            found = endpoints_of_name(lookup->name, lookup->port);
        } catch (...) {
            // Out of memory: the caller sees a name that was not found.
            found = {};
        }
    }
    const std::lock_guard lock(lookup->mutex);
    lookup->found = std::move(found);
    lookup->done = true;
    lookup->finished.notify_one();
}

} // namespace

std::optional<Endpoint> numeric_endpoint(const char *host, std::uint16_t port)
{
    in_addr ipv4{};
    if (plain_dotted_quad(host, ipv4))
        return ipv4_endpoint(ipv4, port);
    ipv4.s_addr = inet_addr(host);
    if (ipv4.s_addr != INADDR_NONE)
        return ipv4_endpoint(ipv4, port);
    in6_addr ipv6{};
    if (inet_pton(AF_INET6, without_brackets(host).c_str(), &ipv6) == 1)
        return ipv6_endpoint(ipv6, port);
    return std::nullopt;
}

FoundEndpoints look_up_endpoints(const char *name, std::uint16_t port, Deadline deadline)
{
    auto lookup = std::make_shared<Lookup>();
    lookup->name = without_brackets(name);
    lookup->port = port;
    lookup->seams = carry_seams();
    auto handed = std::make_unique<std::shared_ptr<Lookup>>(lookup);
    if (Failure no_thread = run_detached(&run_lookup, handed.get())) {
        no_thread.text = "no thread for the lookup (" + no_thread.text + ")";
        return {{}, std::move(no_thread), true};
    }
    handed.release(); // the worker owns it now
    std::unique_lock lock(lookup->mutex);
    if (!lookup->finished.wait_until(lock, deadline, [&] { return lookup->done; })) {
        lock.unlock();
        // The resolver cannot be stopped: the worker may return long after
        // this call, into this module, whatever the host does meanwhile.
        keep_module_for_running_work();
        Failure late = timed_out();
        late.text = "no answer from the resolver in time";
        return {{}, std::move(late), true};
    }
    return std::move(lookup->found);
}

ConnectResult connect_endpoint(Socket &socket, const Endpoint &endpoint, Deadline deadline)
{
    if (!call_allowed_by_seams(Call::socket))
        return {ConnectOutcome::no_socket, refused_by_seams(), {}};
    Socket attempt;
    if (Failure failed = backend::open_socket(attempt, endpoint))
        return {ConnectOutcome::no_socket, std::move(failed), {}};
    if (!call_allowed_by_seams(Call::connect))
        return {ConnectOutcome::failed, refused_by_seams(), {}};
    if (Failure failed = backend::connect_socket(attempt, endpoint, deadline))
        return {ConnectOutcome::failed, std::move(failed), {}};
    socket = std::move(attempt);
    return {ConnectOutcome::connected, {}, endpoint_text(endpoint)};
}

std::string endpoint_text(const Endpoint &endpoint)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (endpoint.address.ss_family == AF_INET) {
        // Dotted decimal by hand: the C library's goes through a formatted
        // print, a cost every connection would pay.
        const auto *ipv4 = reinterpret_cast<const sockaddr_in *>(&endpoint.address);
        unsigned char bytes[4];
        std::memcpy(bytes, &ipv4->sin_addr, sizeof bytes);
        char *at = text;
        for (const unsigned char byte : bytes) {
            if (at != text)
                *at++ = '.';
            at = std::to_chars(at, text + sizeof text, byte).ptr;
        }
        return std::string(text, at);
    }
    const auto *ipv6 = reinterpret_cast<const sockaddr_in6 *>(&endpoint.address);
    inet_ntop(AF_INET6, &ipv6->sin6_addr, text, sizeof text);
    std::string bracketed = "[";
    return bracketed.append(text).append("]");
}

} // namespace lsmtp::platform
