// The server's numbered replies (RFC 5321, section 4.2), read from bytes
// alone: the connection feeds them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lsmtp {

// RFC 5321 section 4.5.3.1.5 allows reply lines of 512 octets; we accept
// twice that before calling the answer garbage.
inline constexpr std::size_t max_reply_line = 1024;
// A multi-line reply longer than this is not a reply we asked for.
inline constexpr std::size_t max_reply_lines = 100;

struct ReplyScan {
    enum class Status { complete, need_more, malformed };
    Status status = Status::need_more;
    int code = 0;              // the reply's code, the same on each of its lines
    std::size_t consumed = 0;  // bytes of the reply, with the white space before it
};

// Looks for one whole reply at the front of `received`, without any I/O.
// White space before the reply is skipped; more of it than one line may
// hold makes the answer malformed. Each line must start with three
// digits, the first of them 1 to 5, followed by "-" (more lines follow),
// a space or the line end, and carry the code of the first line; a line
// ends with LF.
ReplyScan scan_reply(std::string_view received);

// What a reply's text may take in an Outcome or an observer's report.
inline constexpr std::size_t max_reply_text = 512;

struct Reply {
    enum class Status {
        received,  // a whole reply: `code` and `raw` hold it
        lost,      // the wait or the receive failed, or the server closed
        malformed, // the answer is not an SMTP reply
        timed_out, // the reply was not complete in time
    };
    Status status = Status::received;
    // The server's code, 100 to 599; 0 unless a reply was received.
    int code = 0;
    // The reply as received, line ends included; empty when no reply was
    // read. It stays in the connection's buffer, valid until the next read:
    // made readable by reply_text only where a reply is told, so the replies
    // nobody looks at cost nothing more.
    std::string_view raw;
};

// The lines of a whole reply (as scan_reply found it) without their line
// ends, joined by "\n"; control characters (C0, DEL and C1) and bytes that
// are not UTF-8 written as \xNN; cut to max_reply_text bytes, "..." marking the cut.
std::string reply_text(std::string_view reply);

} // namespace lsmtp
