// A scriptable SMTP server for the dialogue tests: it listens on one
// loopback address, answers each command from a script, and records the
// exact bytes every client sent. A client that sends nothing for a few
// seconds while its next line is due has its connection closed, and the
// test ends at its next wait for a session or its next server.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lsmtp::test {

struct ScriptedReply {
    std::string text;                 // raw reply bytes, line ends included
    std::vector<std::size_t> splits;  // positions at which the text is sent in separate writes
    bool close = false;               // close the connection instead of answering
    bool reset = false;               // reset the connection instead of answering
    bool silent = false;              // never answer; keep the connection until the client leaves
    bool close_after = false;         // send the text, then close the connection
    bool stop_reading = false;        // send the text, then read nothing more until the client leaves
    // For ".": answer as soon as this many bytes of message content have
    // arrived, before the end-of-data marker (a refusal mid-data; use with
    // close_after). 0 waits for the marker.
    std::size_t after_data_bytes = 0;
};

struct RecordedSession {
    std::string received;               // every byte the client sent, in order
    std::vector<std::string> commands;  // command lines without their CR LF
    std::string data;                   // message content: the bytes between the DATA reply and the "." line
    bool data_complete = false;         // the end-of-data marker arrived
};

class SmtpTestServer {
public:
    // Listens on address:port at once; throws when it cannot, or when a
    // session of another server in the same test went overdue.
    explicit SmtpTestServer(std::string address = "127.0.0.1", std::uint16_t port = 25);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer &) = delete;
    SmtpTestServer &operator=(const SmtpTestServer &) = delete;

    // Script. Keys: "greeting", "HELO", "MAIL", "RCPT", "DATA", "." (the
    // end-of-data marker), "QUIT". A reply set for the n-th use of a key
    // (1-based, counted per connection) wins over the reply for every use.
    void reply(const std::string &key, ScriptedReply reply);
    void reply(const std::string &key, int nth, ScriptedReply reply);

    // Waits until `count` connections have ended and returns them in the
    // order they were accepted; for a test to ask once its client is done.
    // Gives up (with what it has) a few seconds on when none is open, and
    // after a generous safety limit in any case. Throws when a session went
    // overdue.
    std::vector<RecordedSession> sessions(std::size_t count);
    std::size_t connections_accepted();

private:
    void accept_loop();
    void serve(int fd, std::size_t index);
    ScriptedReply reply_for(const std::string &key, int use);

    std::string address_;
    int listen_fd_ = -1;
    int wake_pipe_[2] = {-1, -1};
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, ScriptedReply> replies_;
    std::map<std::pair<std::string, int>, ScriptedReply> nth_replies_;
    std::vector<RecordedSession> sessions_;
    std::vector<bool> ended_;
    std::vector<int> open_fds_;
    std::vector<std::thread> handlers_;
    const void *test_;  // the test that made the server
    bool overdue_ = false;
};

} // namespace lsmtp::test
