// What a call came to and why: the cause of each result, and what the
// session observer hears.
#include "base/session_observer.h"
#include "lsmtp.h"
#include "mail_call.h"
#include "platform/file.h"
#include "platform/seams.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lsmtp::Outcome;
using lsmtp::Step;
using lsmtp::test::MailCall;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::text;

namespace {

// Remembers everything it hears.
struct Recorder : lsmtp::SessionObserver {
    std::vector<std::string> commands;
    std::vector<std::string> replies;
    std::string headers;
    std::vector<std::pair<std::string, std::size_t>> parts;
    std::vector<Outcome> finished_calls;

    void command(std::string_view line) override { commands.emplace_back(line); }
    void reply(std::string_view reply_text) override { replies.emplace_back(reply_text); }
    void message_headers(std::string_view block) override { headers = block; }
    void message_part(std::string_view part_headers, std::size_t bytes) override
    {
        parts.emplace_back(part_headers, bytes);
    }
    void finished(const Outcome &outcome) override { finished_calls.push_back(outcome); }
};

Outcome outcome_of(const MailCall &call)
{
    Recorder recorder;
    const lsmtp::ScopedSessionObserver observing(recorder);
    const int code = call.send();
    if (recorder.finished_calls.size() != 1)
        return lsmtp::stopped(-1, Step::none, "finished() heard " + std::to_string(recorder.finished_calls.size()));
    EXPECT_EQ(recorder.finished_calls[0].code, code);
    return recorder.finished_calls[0];
}

// Each step's cause: the code, the step, what it was about and the
// server's words.
TEST(Outcome, EachStepTellsItsCause)
{
    struct Row {
        const char *key;
        const char *reply;
        int code;
        Step step;
        const char *subject;
    };
    const Row rows[] = {
        {"greeting", "554 go away\r\n", 554, Step::greeting, ""},
        {"HELO", "501 bad\r\n", 501, Step::helo, "sorvane"},
        {"MAIL", "553-no\r\n553 such sender\r\n", 553, Step::mail, "sender@example.test"},
        {"RCPT", "550 no mailbox\r\n", 550, Step::rcpt, "to@example.test"},
        {"DATA", "250 not what was asked\r\n", SMTP_ERR_REPLY, Step::data, ""},
        {".", "552 too big\r\n", 552, Step::end_of_data, ""},
        {"QUIT", "500 whatever\r\n", 250, Step::none, ""},
    };
    for (const Row &row : rows) {
        SmtpTestServer server;
        server.reply(row.key, text(row.reply));
        const Outcome outcome = outcome_of(MailCall{});
        EXPECT_EQ(outcome.code, row.code) << row.key;
        EXPECT_EQ(outcome.step, row.step) << row.key;
        EXPECT_EQ(outcome.subject, row.subject) << row.key;
        std::string expected = row.step == Step::none ? "250 queued\r\n" : row.reply;
        expected = expected.substr(0, expected.size() - 2);
        if (const auto at = expected.find("\r\n"); at != std::string::npos)
            expected.replace(at, 2, "\n");
        EXPECT_EQ(outcome.server_text, expected) << row.key;
        server.sessions(1);
    }
}

TEST(Outcome, LocalCausesSayWhatTheSystemSaid)
{
    // Nothing listens on port 25 here.
    const Outcome refused = outcome_of(MailCall{});
    EXPECT_EQ(refused.code, SMTP_ERR_CONNECT);
    EXPECT_EQ(refused.step, Step::connect);
    EXPECT_EQ(refused.subject, "127.0.0.1");
    EXPECT_EQ(refused.system_text, "127.0.0.1: Connection refused");

    MailCall unknown;
    unknown.smtp_host = "no-such-host.invalid";
    const Outcome unresolved = outcome_of(unknown);
    EXPECT_EQ(unresolved.code, SMTP_ERR_CONNECT);
    EXPECT_EQ(unresolved.step, Step::lookup);
    EXPECT_FALSE(unresolved.system_text.empty());

    lsmtp::test::TempFolder folder;
    MailCall copied;
    const std::string file = folder.file("copied.txt", "text");
    copied.attachments = file.c_str();
    {
        // Neither the file's folder nor the temporary one takes the copy.
        lsmtp::platform::Seams seams;
        seams.allow_call = [](lsmtp::platform::Call call, std::size_t) {
            return call != lsmtp::platform::Call::create;
        };
        const lsmtp::platform::ScopedSeams refusing(std::move(seams));
        SmtpTestServer server;
        const Outcome uncopied = outcome_of(copied);
        EXPECT_EQ(uncopied.code, SMTP_ERR_ENCODE_CREATE);
        EXPECT_EQ(uncopied.step, Step::attachment);
        EXPECT_EQ(uncopied.subject, file);
        server.sessions(1);
    }

    MailCall missing;
    const std::string path = (folder.path / "gone.txt").string();
    missing.attachments = path.c_str();
    const Outcome unreadable = outcome_of(missing);
    EXPECT_EQ(unreadable.code, SMTP_ERR_ATTACH_OPEN);
    EXPECT_EQ(unreadable.step, Step::attachment);
    EXPECT_EQ(unreadable.subject, path);
    // The system's own words for a missing file, in its own language.
    const lsmtp::platform::OpenedFile none = lsmtp::platform::open_for_reading(path);
    ASSERT_FALSE(none.file.valid());
    EXPECT_EQ(unreadable.system_text, none.failure.text);
    EXPECT_FALSE(unreadable.system_text.empty());
}

TEST(Outcome, ObserverHearsTheWholeDialogue)
{
    SmtpTestServer server;
    server.reply("RCPT", 2, text("251-will forward\r\n251 \x01\xFF\r\n"));
    MailCall call;
    call.to_list = "a@x.test, b@x.test";
    call.body = "hello";
    Recorder recorder;
    {
        const lsmtp::ScopedSessionObserver observing(recorder);
        EXPECT_EQ(call.send(), 221);
    }
    EXPECT_EQ(recorder.commands, (std::vector<std::string>{"HELO sorvane", "MAIL FROM:<sender@example.test>",
                                                           "RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>", "DATA",
                                                           ".", "QUIT"}));
    ASSERT_EQ(recorder.replies.size(), 8u);
    EXPECT_EQ(recorder.replies[4], "251-will forward\n251 \\x01\\xFF");
    const std::string received = lsmtp::test::only_session(server).data;
    EXPECT_EQ(received.substr(0, recorder.headers.size()), recorder.headers);
    ASSERT_EQ(recorder.parts.size(), 1u);
    EXPECT_NE(received.find(recorder.parts[0].first + "hello"), std::string::npos);
    EXPECT_EQ(recorder.parts[0].second, 5u);
    ASSERT_EQ(recorder.finished_calls.size(), 1u);
    EXPECT_TRUE(recorder.finished_calls[0].accepted());
}

} // namespace
