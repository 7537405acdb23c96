// One SMTP session over one TCP connection to the mail server.
#pragma once

#include "base/session_observer.h"
#include "platform/socket.h"
#include "text/text.h"
#include "transport/reply.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lsmtp {

// How long the call waits for the connection to the server, the name
// lookup included.
inline constexpr std::chrono::seconds connect_limit{15};

// How long a write may wait for the server to take more data.
inline constexpr std::chrono::seconds send_stall_limit{10};

inline constexpr std::chrono::seconds reply_wait_limit{10};
// The reply to the end of the data may come late: a server may scan the
// whole message before it answers. RFC 5321 section 4.5.3.2.6 asks for 10
// minutes, since a client that gives up sooner has its caller send a
// message twice that was delivered once.
inline constexpr std::chrono::minutes end_of_data_wait_limit{10};

// How long one dialogue waits for its replies.
struct ReplyLimits {
    std::chrono::milliseconds reply = reply_wait_limit;
    std::chrono::milliseconds end_of_data = end_of_data_wait_limit;
};

// The session's connection: the socket, the replies received but not yet
// read, the time limits, the observer that hears the dialogue (none when
// null), and why the connection first failed, as the system said it
// ("Connection reset by peer"): what follows a broken connection only
// fails again. Closes the socket when it goes.
class Connection {
public:
    explicit Connection(ReplyLimits limits = {}, SessionObserver *observer = nullptr);
    // A connection over a socket connected already.
    explicit Connection(platform::Socket connected, ReplyLimits limits = {}, SessionObserver *observer = nullptr);

    // Connects to host:port (a name, IPv4 or IPv6 text) within
    // connect_limit, name lookup included; see platform::connect_to_host.
    platform::ConnectResult open(const std::string &host, std::uint16_t port);

    // Sends one command line made of `parts`, with its CR LF, as the
    // observer hears it. A failed write is kept, not reported here: it shows
    // up as a failed reply or the server's last word.
    template <typename... Parts>
    bool command(const Parts &...parts)
    {
        concat_into(line_, parts...);
        return send_line();
    }

    // The next whole reply within the reply limit, or `limit`. Bytes after
    // the reply stay for the next one. The reply's bytes are valid until the
    // next read.
    Reply read_reply() { return read_reply(limits_.reply); }
    Reply read_reply(std::chrono::milliseconds limit);
    const ReplyLimits &limits() const { return limits_; }

    // Writes the bytes whole; false when the write failed.
    bool send_bytes(const char *data, std::size_t length);

    const platform::Failure &failure() const { return failure_; }
    SessionObserver *observer() const { return observer_; }

private:
    bool send_line();
    void keep(platform::Failure failure);

    platform::Socket socket_;
    // Replies received; those before `reply_end_` were read already.
    std::string replies_;
    std::size_t reply_end_ = 0;
    std::string line_;
    ReplyLimits limits_;
    SessionObserver *observer_ = nullptr;
    platform::Failure failure_;
};

} // namespace lsmtp
