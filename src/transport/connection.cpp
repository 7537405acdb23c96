#include "transport/connection.h"

namespace lsmtp {

Connection::Connection(ReplyLimits limits, SessionObserver *observer) : limits_(limits), observer_(observer)
{
    // Room for the usual command lines and replies at once.
    line_.reserve(128);
    replies_.reserve(512);
}

Connection::Connection(platform::Socket connected, ReplyLimits limits, SessionObserver *observer)
    : Connection(limits, observer)
{
    socket_ = std::move(connected);
}

platform::ConnectResult Connection::open(const std::string &host, std::uint16_t port)
{
    return platform::connect_to_host(socket_, host.c_str(), port, platform::deadline_after(connect_limit));
}

bool Connection::send_line()
{
    if (observer_ != nullptr)
        observer_->command(line_);
    line_ += "\r\n";
    return send_bytes(line_.data(), line_.size());
}

bool Connection::send_bytes(const char *data, std::size_t length)
{
    platform::Failure failed = platform::send_all(socket_, data, length, send_stall_limit);
    if (!failed)
        return true;
    keep(std::move(failed));
    return false;
}

void Connection::keep(platform::Failure failure)
{
    if (!failure_)
        failure_ = std::move(failure);
}

Reply Connection::read_reply(std::chrono::milliseconds limit)
{
    // The last reply's bytes are given up now; usually nothing came after
    // them.
    replies_.erase(0, reply_end_);
    reply_end_ = 0;
    const platform::Deadline deadline = platform::deadline_after(limit);
    for (;;) {
        // Nothing held back from the last read: nothing to scan yet.
        const ReplyScan scan = replies_.empty() ? ReplyScan{} : scan_reply(replies_);
        if (scan.status == ReplyScan::Status::complete) {
            reply_end_ = scan.consumed;
            const Reply reply{Reply::Status::received, scan.code, std::string_view(replies_).substr(0, reply_end_)};
            if (observer_ != nullptr)
                observer_->reply(reply_text(reply.raw));
            return reply;
        }
        if (scan.status == ReplyScan::Status::malformed)
            return Reply{Reply::Status::malformed, 0, {}};

        char chunk[1024];
        platform::Received got = platform::receive_before(socket_, chunk, sizeof chunk, deadline);
        switch (got.status) {
        case platform::Received::Status::data:
            replies_.append(chunk, got.count);
            break;
        case platform::Received::Status::timed_out:
            return Reply{Reply::Status::timed_out, 0, {}};
        case platform::Received::Status::closed:
            return Reply{Reply::Status::lost, 0, {}};
        case platform::Received::Status::failed:
            keep(std::move(got.failure));
            return Reply{Reply::Status::lost, 0, {}};
        }
    }
}

} // namespace lsmtp
