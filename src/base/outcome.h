// What one call came to, with its cause.
//
// Not an API. This header is private to the lsmtp source tree: it is not
// installed, the shared library exports nothing of it, and it may change
// with any release. Only code linked with the library's objects (the
// command-line tool, the tests) can use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace lsmtp {

// Where a call stopped. `none` for a message the server accepted.
enum class Step {
    none,
    arguments,   // an argument was refused before anything was sent (740)
    attachment,  // an attachment could not be read or copied (720, 721)
    lookup,      // the host name resolved to no address (700)
    connect,     // socket or connection to every address found (700, 710)
    greeting,    // the server's first reply
    helo,
    mail,        // MAIL FROM
    rcpt,        // RCPT TO, for `Outcome::subject`
    data,        // the DATA command
    message,     // writing the message content
    end_of_data, // the reply to the end-of-data marker
    quit,
    memory,      // out of memory (750)
};

// The result of one call: the code the C interface returns and its cause.
struct Outcome {
    int code = 0;
    Step step = Step::none;
    // What the step was about: the recipient's address (rcpt), the HELO
    // word (helo), the sender (mail), the attachment's path (attachment),
    // the host (lookup, connect), the argument's name (arguments).
    std::string subject;
    // What the system said: for connect each address tried and why it
    // failed ("127.0.0.1: Connection refused; [::1]: Connection refused"),
    // for lookup the resolver's word; for an attachment the system's error,
    // for its encoded copy each folder tried and the system's error there.
    std::string system_text;
    // The server's reply that decided the result, lines joined by "\n",
    // bounded to about 512 bytes, control characters and bytes that are
    // not UTF-8 escaped as \xNN. For an accepted message the reply to the
    // end-of-data marker, which carries the server's queue id, even when
    // QUIT's reply gave the code. Empty when no reply was read.
    std::string server_text;
    // The server's address as connected ("192.0.2.1", "[2001:db8::1]");
    // empty before a connection.
    std::string server_address;
    // A refused argument (arguments): the rule it broke, and the list item
    // that broke it, counted from 1 (0 for an argument that is no list).
    std::string_view rule;
    std::size_t item = 0;
    // A lookup that may succeed later: the resolver failed for now, or gave
    // no answer in time (lookup).
    bool temporary = false;

    bool accepted() const { return code > 0 && code < 400; }
};

// Every result of a call is made here: the one that ends the call at
// `step`, accepted or not. Inside the library a code of 0 (an Outcome{})
// means the call goes on.
inline Outcome stopped(int code, Step step, std::string_view subject = {}, std::string system_text = {},
                       std::string server_text = {})
{
    Outcome outcome;
    outcome.code = code;
    outcome.step = step;
    outcome.subject = subject;
    outcome.system_text = std::move(system_text);
    outcome.server_text = std::move(server_text);
    return outcome;
}

} // namespace lsmtp
