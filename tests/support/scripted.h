// Short spellings for the test server's scripts, and what a test checks
// after a call: the one session it had and the descriptors left open.
#pragma once

#include "smtp_test_server.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace lsmtp::test {

inline ScriptedReply text(std::string reply)
{
    ScriptedReply scripted;
    scripted.text = std::move(reply);
    return scripted;
}

inline ScriptedReply closing()
{
    ScriptedReply reply;
    reply.close = true;
    return reply;
}

inline RecordedSession only_session(SmtpTestServer &server)
{
    const auto sessions = server.sessions(1);
    return sessions.size() == 1 ? sessions[0] : RecordedSession{};
}

// Descriptors open in this process (Linux only).
inline std::size_t open_descriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace lsmtp::test
