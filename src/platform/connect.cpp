// One deadline for the name lookup and every connection attempt.
#include "platform/endpoint.h"

namespace lsmtp::platform {

ConnectResult connect_to_host(Socket &socket, const char *host, std::uint16_t port, Deadline deadline)
{
    std::vector<Endpoint> endpoints;
    if (std::optional<Endpoint> numeric = numeric_endpoint(host, port)) {
        endpoints.push_back(*numeric);
    } else {
        FoundEndpoints found = look_up_endpoints(host, port, deadline);
        if (found.endpoints.empty())
            return {found.for_now ? ConnectOutcome::unresolved_for_now : ConnectOutcome::unresolved,
                    std::move(found.failure), {}};
        endpoints = std::move(found.endpoints);
    }

    Failure why;
    std::size_t attempts = 0;
    std::size_t without_socket = 0;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            break;
        // The time left divided by the addresses left: an address that never
        // answers leaves the later ones their turn.
        const auto addresses_left = static_cast<std::chrono::steady_clock::rep>(endpoints.size() - i);
        const ConnectResult attempt = connect_endpoint(socket, endpoints[i], now + (deadline - now) / addresses_left);
        if (attempt.outcome == ConnectOutcome::connected)
            return attempt;
        ++attempts;
        if (attempt.outcome == ConnectOutcome::no_socket)
            ++without_socket;
        why.code = attempt.failure.code;
        why.text.append(why.text.empty() ? "" : "; ").append(endpoint_text(endpoints[i])).append(": ").append(
            attempt.failure.text);
    }
    if (attempts < endpoints.size())
        why.text.append(why.text.empty() ? "" : "; ").append("no time left for the other addresses");
    return {attempts > 0 && without_socket == attempts ? ConnectOutcome::no_socket : ConnectOutcome::failed,
            std::move(why), {}};
}

} // namespace lsmtp::platform
