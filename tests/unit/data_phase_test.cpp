// How the DATA phase meets the wire: large sends, a whole small message in
// one, the pauses of a large attachment each after a flush, and nothing more
// sent or encoded once a send has failed.
#include "mail_call.h"
#include "platform/seams.h"
#include "portable.h"
#include "smtp_test_server.h"
#include "transport/data_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using lsmtp::test::MailCall;
using lsmtp::test::RecordedSession;
using lsmtp::test::SmtpTestServer;
using Lengths = std::vector<std::size_t>;

namespace {

constexpr std::size_t full = lsmtp::DataWriter::buffer_size;
// HELO, MAIL, RCPT and DATA go out before the content.
constexpr std::size_t commands_before_data = 4;
const std::string attachment_head = "\r\n--Message-Boundary-21132\r\nContent-Type: application/octet-stream";

struct Scratch {
    fs::path folder = lsmtp::test::make_scratch_folder("lsmtp-data-phase");
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string file(const std::string &name, std::size_t size) const
    {
        std::ofstream(folder / name, std::ios::binary) << std::string(size, 'a');
        return (folder / name).string();
    }
    std::size_t entries() const
    {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder))
            ++count;
        return count;
    }
};

// One call against a fresh server, with the length of every send and the
// bytes sent before every pause.
struct Traced {
    int result = 0;
    RecordedSession session;
    Lengths sends;
    Lengths sent_at_pauses;
};

Traced traced_call(const MailCall &call, SmtpTestServer &server,
                   std::function<bool(lsmtp::platform::Call, std::size_t)> allow_call = {})
{
    Traced traced;
    std::size_t sent = 0;
    lsmtp::platform::Seams seams;
    seams.sending = [&](std::size_t length) {
        traced.sends.push_back(length);
        sent += length;
    };
    seams.pause = [&](int) { traced.sent_at_pauses.push_back(sent); };
    seams.allow_call = std::move(allow_call);
    {
        lsmtp::platform::ScopedSeams scoped(seams);
        traced.result = call.send();
    }
    const auto sessions = server.sessions(1);
    if (sessions.size() == 1)
        traced.session = sessions[0];
    return traced;
}

MailCall body_and_file(const std::string &path)
{
    MailCall call;
    call.body = "body";
    call.attachments = path.c_str();
    return call;
}

// The sends between the DATA command and QUIT.
Lengths data_phase_sends(const Traced &traced)
{
    if (traced.sends.size() < commands_before_data + 1)
        return {};
    return Lengths(traced.sends.begin() + commands_before_data, traced.sends.end() - 1);
}

// Everything the client sent between the DATA command and QUIT.
std::string data_phase_bytes(const RecordedSession &session)
{
    const std::size_t start = session.received.find("DATA\r\n") + 6;
    return session.received.substr(start, session.received.rfind("QUIT\r\n") - start);
}

} // namespace

TEST(DataPhase, GoesOutInLargeSends)
{
    const Scratch scratch;
    const std::string small_body(1000, 'b');
    // Short lines with leading dots: the stuffed output outgrows the input.
    std::string large_body;
    while (large_body.size() < 140'000)
        large_body += ".dotted line\n";
    const std::string attachment = scratch.file("small.bin", 2000);
    // The expected send lengths, from the DATA phase's bytes.
    struct Case {
        const char *name;
        const char *body;
        const char *attachments;
        std::function<Lengths(const std::string &phase)> expected;
    };
    const Case cases[] = {
        {"small message, marker included", small_body.c_str(), nullptr,
         [](const std::string &phase) { return Lengths{phase.size()}; }},
        {"no body, no attachment", nullptr, nullptr, [](const std::string &phase) { return Lengths{phase.size()}; }},
        {"full buffers first", large_body.c_str(), nullptr,
         [](const std::string &phase) {
             return Lengths{full, full, phase.size() - 2 * full};
         }},
        {"flushed before the copy is encoded", small_body.c_str(), attachment.c_str(),
         [](const std::string &phase) {
             const std::size_t before = phase.find(attachment_head);
             return Lengths{before, phase.size() - before};
         }},
    };
    for (const Case &c : cases) {
        MailCall call;
        call.body = c.body;
        call.attachments = c.attachments;
        SmtpTestServer server;
        const Traced traced = traced_call(call, server);
        EXPECT_EQ(traced.result, 221) << c.name;
        ASSERT_TRUE(traced.session.data_complete) << c.name;
        const std::string phase = data_phase_bytes(traced.session);
        EXPECT_EQ(phase.substr(phase.size() - 5), "\r\n.\r\n") << c.name;
        EXPECT_EQ(data_phase_sends(traced), c.expected(phase)) << c.name;
    }
}

// A pause paces the link only when what was written is already sent: while
// the copy is encoded, everything before the attachment's part is out;
// while it streams, every pair of 4 KiB chunks read so far (the last pair
// may end short, at the end of the copy).
TEST(DataPhase, EveryPauseComesAfterAFlush)
{
    const Scratch scratch;
    const std::string attachment = scratch.file("large.bin", 40'000);
    SmtpTestServer server;
    const Traced traced = traced_call(body_and_file(attachment), server);
    ASSERT_EQ(traced.result, 221);
    const std::string &received = traced.session.received;
    const std::size_t part = received.find(attachment_head);
    const std::size_t content = received.find("\r\n\r\n", part + attachment_head.size()) + 4;
    const std::size_t copy_size = received.find("\r\n--Message-Boundary-21132--", content) - content;
    ASSERT_NE(part, std::string::npos);

    std::size_t while_encoding = 0, while_streaming = 0;
    for (const std::size_t sent : traced.sent_at_pauses) {
        if (sent == part)
            ++while_encoding;
        else if (sent > content && sent - content <= copy_size &&
                 ((sent - content) % 8192 == 0 || sent - content == copy_size))
            ++while_streaming;
        else
            ADD_FAILURE() << "pause after " << sent << " bytes; the attachment's part starts at " << part
                          << ", its content at " << content;
    }
    EXPECT_GT(while_encoding, 0u);
    // Reads go on until one comes back short; a pause follows every second.
    EXPECT_EQ(while_streaming, (copy_size / 4096 + 1) / 2);
}

// Once a send of the content fails, the call stops: no later send, no copy
// encoded, nothing left on disk; the refusal the server sent is the result.
TEST(DataPhase, FailedSendStopsTheWork)
{
    const Scratch scratch;
    const std::string attachment = scratch.file("never-encoded.bin", 40'000);
    SmtpTestServer server;
    lsmtp::test::ScriptedReply refused_at_once;
    refused_at_once.text = "354 go on\r\n554 no thanks\r\n";
    refused_at_once.close_after = true;
    server.reply("DATA", refused_at_once);
    std::size_t last_send = 0;
    const Traced traced = traced_call(body_and_file(attachment), server, [&](lsmtp::platform::Call call, std::size_t number) {
        if (call != lsmtp::platform::Call::send)
            return true;
        last_send = number;
        return number <= commands_before_data;
    });
    EXPECT_EQ(traced.result, 554);
    EXPECT_EQ(last_send, commands_before_data + 1);
    EXPECT_TRUE(traced.sent_at_pauses.empty());
    EXPECT_EQ(scratch.entries(), 1u);
}
