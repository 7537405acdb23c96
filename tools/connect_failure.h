// Why lsmtp-send could not connect. The library answers one code (700) for
// a name that does not resolve, a refused connection and a timeout; the
// tool tells them apart afterwards for its error message.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

enum class ConnectFailure { unresolved, refused, timed_out };

// A refusal (or an unreachable network) comes back at once, a timeout only
// when the whole limit has passed; `took` is the time the call took.
ConnectFailure classify_connect_failure(bool name_resolves, std::chrono::milliseconds took,
                                        std::chrono::milliseconds limit);

// Resolves `host` again, through the library's platform layer, and
// classifies the failure of a call that took `took`.
ConnectFailure diagnose_connect_failure(const std::string &host, std::chrono::milliseconds took);

// The error message after the tool's name: names the host and what failed.
std::string describe_connect_failure(ConnectFailure failure, std::string_view host, std::chrono::milliseconds took);
