// One deadline for the name lookup and every connection attempt.
#include "platform/endpoint.h"

namespace lsmtp::platform {

namespace {

ConnectOutcome connect_telling_why(Socket &socket, const char *host, std::uint16_t port, Deadline deadline,
                                   std::string &why)
{
    std::vector<Endpoint> endpoints;
    if (std::optional<Endpoint> numeric = numeric_endpoint(host, port))
        endpoints.push_back(*numeric);
    else if (endpoints = look_up_endpoints(host, port, deadline, why); endpoints.empty())
        return ConnectOutcome::unresolved;
    why.clear();

    std::size_t attempts = 0;
    std::size_t without_socket = 0;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        // The time left divided by the addresses left: an address that never
        // answers leaves the later ones their turn.
        const auto addresses_left = static_cast<std::chrono::steady_clock::rep>(endpoints.size() - i);
        int error = 0;
        const ConnectOutcome outcome =
            connect_endpoint(socket, endpoints[i], now + (deadline - now) / addresses_left, error);
        if (outcome == ConnectOutcome::connected)
            return outcome;
        ++attempts;
        if (outcome == ConnectOutcome::no_socket)
            ++without_socket;
        why.append(why.empty() ? "" : "; ").append(endpoint_text(endpoints[i])).append(": ").append(
            socket_error_text(error));
    }
    if (attempts < endpoints.size())
        why.append(why.empty() ? "" : "; ").append("no time left for the other addresses");
    return attempts > 0 && without_socket == attempts ? ConnectOutcome::no_socket : ConnectOutcome::failed;
}

} // namespace

ConnectOutcome connect_to_host(Socket &socket, const char *host, std::uint16_t port, Deadline deadline,
                               std::string *why)
{
    std::string told;
    const ConnectOutcome outcome = connect_telling_why(socket, host, port, deadline, told);
    if (why != nullptr)
        *why = std::move(told);
    return outcome;
}

} // namespace lsmtp::platform
