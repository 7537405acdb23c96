// The observer of the dialogue: what each call says, hears and sends.
//
// Not an API, like outcome.h: private to the lsmtp source tree.
#pragma once

#include "base/outcome.h"

#include <cstddef>
#include <string_view>

namespace lsmtp {

// Hears the dialogue of the calls of one thread (see ScopedSessionObserver).
// Every function has an empty default, so an observer overrides only what
// it needs; a call nobody observes pays nothing for it.
class SessionObserver {
public:
    // A command line as sent, without its CR LF.
    virtual void command(std::string_view /*line*/) {}
    // A whole reply as received, lines joined by "\n", escaped as in Outcome.
    virtual void reply(std::string_view /*text*/) {}
    // The header block of the message as sent (CR LF line ends).
    virtual void message_headers(std::string_view /*header_block*/) {}
    // One MIME part: its header lines and the bytes of its content as sent.
    virtual void message_part(std::string_view /*part_headers*/, std::size_t /*content_bytes*/) {}
    // Characters of an attachment's encoded copy just written.
    virtual void encoded(std::size_t /*bytes*/) {}
    // Message content (between the DATA reply and the end-of-data marker)
    // just handed to the connection.
    virtual void sent(std::size_t /*bytes*/) {}
    // The call's result, told once, just before the call returns.
    virtual void finished(const Outcome & /*outcome*/) {}

protected:
    ~SessionObserver() = default;
};

// Makes `observer` hear of the calls of the constructing thread until the
// object is destroyed; one installed before is restored then. The tool
// learns a call's cause this way: it installs an observer, calls
// lsmtp_send_mail and reads the Outcome that finished() hands it.
class ScopedSessionObserver {
public:
    explicit ScopedSessionObserver(SessionObserver &observer);
    ~ScopedSessionObserver();
    ScopedSessionObserver(const ScopedSessionObserver &) = delete;
    ScopedSessionObserver &operator=(const ScopedSessionObserver &) = delete;

private:
    SessionObserver *previous_;
};

// The calling thread's observer, or null.
SessionObserver *session_observer();

// Tell the calling thread's observer, if any, of encoding and sending.
void report_encoded(std::size_t bytes);
void report_sent(std::size_t bytes);

} // namespace lsmtp
