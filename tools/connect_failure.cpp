#include "connect_failure.h"

#include "platform/socket.h"
#include "transport/connection.h"

#include <cstdio>

namespace {

// The call spends a little before and after its connect wait; a failure
// this close to the limit is the wait running out.
constexpr std::chrono::milliseconds timeout_margin{1000};

std::string seconds_text(std::chrono::milliseconds time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(time.count()) / 1000.0);
    return text;
}

} // namespace

ConnectFailure classify_connect_failure(bool name_resolves, std::chrono::milliseconds took,
                                        std::chrono::milliseconds limit)
{
    if (!name_resolves)
        return ConnectFailure::unresolved;
    return took + timeout_margin >= limit ? ConnectFailure::timed_out : ConnectFailure::refused;
}

ConnectFailure diagnose_connect_failure(const std::string &host, std::chrono::milliseconds took)
{
    const bool resolves =
        lsmtp::platform::host_resolves(host.c_str(), lsmtp::platform::deadline_after(lsmtp::connect_limit));
    return classify_connect_failure(resolves, took, lsmtp::connect_limit);
}

std::string describe_connect_failure(ConnectFailure failure, std::string_view host, std::chrono::milliseconds took)
{
    std::string text = "cannot connect to ";
    text.append(host).append(" port 25: ");
    switch (failure) {
    case ConnectFailure::unresolved:
        return text + "the name does not resolve to an address";
    case ConnectFailure::refused:
        return text + "connection refused or host unreachable (after " + seconds_text(took) + ")";
    case ConnectFailure::timed_out:
        return text + "no answer, timed out after " + seconds_text(took);
    }
    return text;
}
