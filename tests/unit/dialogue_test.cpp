// The SMTP dialogue of lsmtp_send_mail against the scripted test server.
#include "mail_call.h"
#include "platform/seams.h"
#include "sigpipe_counter.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "submit/send_mail.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using lsmtp::test::closing;
using lsmtp::test::MailCall;
using lsmtp::test::only_session;
using lsmtp::test::open_descriptors;
using lsmtp::test::RecordedSession;
using lsmtp::test::ScriptedReply;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::text;
using Commands = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

std::chrono::steady_clock::duration time_of(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::steady_clock::now() - start;
}

TEST(Dialogue, SendsTheCommandSequenceByteForByte)
{
    SmtpTestServer server;
    MailCall call;
    call.to_list = "a@x.test";
    call.cc_list = "b@x.test";
    call.bcc_list = "c@x.test";
    EXPECT_EQ(call.send(), 221);
    const RecordedSession session = only_session(server);
    // What lies between the DATA reply and the end-of-data marker is the
    // message itself, tested with its composition.
    EXPECT_EQ(session.received.substr(0, session.received.find("DATA\r\n") + 6),
              "HELO sorvane\r\n"
              "MAIL FROM:<sender@example.test>\r\n"
              "RCPT TO:<a@x.test>\r\n"
              "RCPT TO:<b@x.test>\r\n"
              "RCPT TO:<c@x.test>\r\n"
              "DATA\r\n");
    const std::string ending = "\r\n.\r\nQUIT\r\n";
    ASSERT_GE(session.received.size(), ending.size());
    EXPECT_EQ(session.received.substr(session.received.size() - ending.size()), ending);
    EXPECT_TRUE(session.data_complete);
}

// Each step's refusal is the result, and nothing more is said after it.
TEST(Dialogue, RefusalAtEachStepEndsTheSession)
{
    const std::vector<std::pair<std::string, Commands>> steps = {
        {"greeting", {}},
        {"HELO", {"HELO sorvane"}},
        {"MAIL", {"HELO sorvane", "MAIL FROM:<sender@example.test>"}},
        {"RCPT", {"HELO sorvane", "MAIL FROM:<sender@example.test>", "RCPT TO:<to@example.test>"}},
        {"DATA", {"HELO sorvane", "MAIL FROM:<sender@example.test>", "RCPT TO:<to@example.test>", "DATA"}},
        {".", {"HELO sorvane", "MAIL FROM:<sender@example.test>", "RCPT TO:<to@example.test>", "DATA"}},
    };
    for (const auto &[step, commands] : steps) {
        SmtpTestServer server;
        server.reply(step, text("554 refused at " + step + "\r\n"));
        EXPECT_EQ(MailCall{}.send(), 554) << step;
        const RecordedSession session = only_session(server);
        EXPECT_EQ(session.commands, commands) << step;
        EXPECT_EQ(session.data_complete, step == ".") << step;
        EXPECT_EQ(session.received.find("QUIT"), std::string::npos) << step;
    }
}

// Greeting, HELO, MAIL, RCPT and the end of data need 2xx, DATA needs 3xx.
// Exactly 400 is no SMTP code; it and a reply of the wrong class end the
// session with 712, and only QUIT is said after it.
TEST(Dialogue, EachStepNeedsItsReplyClass)
{
    struct Case {
        const char *step, *reply;
        int result;
    };
    const std::vector<Case> cases = {
        {"greeting", "400 odd\r\n", SMTP_ERR_REPLY}, {"greeting", "354 odd\r\n", SMTP_ERR_REPLY},
        {"HELO", "400 odd\r\n", SMTP_ERR_REPLY},     {"MAIL", "354 go on\r\n", SMTP_ERR_REPLY},
        {"RCPT", "199 hm\r\n", SMTP_ERR_REPLY},       {"DATA", "250 ok\r\n", SMTP_ERR_REPLY},
        {"DATA", "400 odd\r\n", SMTP_ERR_REPLY},      {".", "354 more\r\n", SMTP_ERR_REPLY},
        {".", "400 odd\r\n", SMTP_ERR_REPLY},         {"DATA", "451 later\r\n", 451},
        {"HELO", "220 hello\r\n", 221},               {"RCPT", "251 forwarded\r\n", 221},
        {"DATA", "300 odd but 3xx\r\n", 221},
    };
    for (const Case &c : cases) {
        SmtpTestServer server;
        server.reply(c.step, text(c.reply));
        EXPECT_EQ(MailCall{}.send(), c.result) << c.step << " " << c.reply;
        const RecordedSession session = only_session(server);
        const std::string step = c.step;
        EXPECT_EQ(session.data_complete, c.result == 221 || step == ".") << step << " " << c.reply;
        const bool quit_said = !session.commands.empty() && session.commands.back() == "QUIT";
        EXPECT_EQ(quit_said, c.result != 451) << step << " " << c.reply;
    }
}

// Once the end of data got its 2xx the message is accepted: QUIT's reply
// is the result when it is 2xx, otherwise the code that accepted the data.
TEST(Dialogue, AcceptedMeansAcceptedWhateverQuitGets)
{
    struct Case {
        const char *accepted;
        ScriptedReply quit;
        int result;
    };
    const std::vector<Case> cases = {
        {"250 queued\r\n", text("221 bye\r\n"), 221},
        {"250 queued\r\n", text("250 fine\r\n"), 250},
        {"250 queued\r\n", text("221-see\r\n221 you\r\n"), 221},
        {"250 queued\r\n", text("554 odd\r\n"), 250},
        {"250 queued\r\n", text("500 what\r\n"), 250},
        {"250 queued\r\n", text("what?\r\n"), 250},
        {"250 queued\r\n", closing(), 250},
        {"251 queued\r\n", closing(), 251},
    };
    for (const Case &c : cases) {
        SmtpTestServer server;
        server.reply(".", text(c.accepted));
        server.reply("QUIT", c.quit);
        EXPECT_EQ(MailCall{}.send(), c.result) << c.accepted << c.quit.text;
        EXPECT_TRUE(only_session(server).data_complete);
    }
}

TEST(Dialogue, ServerClosingAtAnyStepIsARecvError)
{
    for (const char *step : {"greeting", "HELO", "MAIL", "RCPT", "DATA", "."}) {
        SmtpTestServer server;
        server.reply(step, closing());
        EXPECT_EQ(MailCall{}.send(), SMTP_ERR_RECV) << step;
        EXPECT_EQ(only_session(server).received.find("QUIT"), std::string::npos) << step;
    }
}

// Nothing more is said after an answer that is not a reply: not even QUIT.
// Lines of one reply that disagree on the code are no reply either, so a
// refusal whose last line reads 250 never passes for an acceptance.
TEST(Dialogue, GarbageInsteadOfAReplyEndsTheSession)
{
    struct Case {
        const char *step, *reply;
        std::size_t commands;  // said before the session ended, the data not counted
    };
    const std::vector<Case> cases = {
        {"greeting", "* OK some other service\r\n", 0},  // another service listening on the port
        {"MAIL", "sender ok\r\n", 2},
        {"RCPT", "550-no such user\r\n250 ok\r\n", 3},
        {".", "554-rejected\r\n250 ok\r\n", 4},
    };
    for (const Case &c : cases) {
        SmtpTestServer server;
        server.reply(c.step, text(c.reply));
        EXPECT_EQ(MailCall{}.send(), SMTP_ERR_REPLY) << c.step;
        const RecordedSession session = only_session(server);
        EXPECT_EQ(session.commands.size(), c.commands) << c.step;
        EXPECT_EQ(session.data_complete, std::string(c.step) == ".") << c.step;
        EXPECT_EQ(session.received.find("QUIT"), std::string::npos) << c.step;
    }
}

// A server that stops taking the message: a write waits 10 s for room, and
// the call ends with 730, the server having said nothing.
TEST(Dialogue, ServerThatStopsReadingEndsTheCallAfterTenSeconds)
{
#ifdef _WIN32
    GTEST_SKIP() << "run on Linux only: the test server watches the stalled connection for POLLRDHUP";
#endif
    lsmtp::test::TempFolder folder;
    std::mt19937 random(17);
    std::string bytes(16 << 20, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    const std::string file = folder.file("large.bin", bytes);
    SmtpTestServer server;
    ScriptedReply stalling = text("354 go ahead\r\n");
    stalling.stop_reading = true;
    server.reply("DATA", stalling);
    lsmtp::platform::Seams seams;
    seams.pause = [](int) {};  // no pacing: only the stall takes time
    const lsmtp::platform::ScopedSeams installed(std::move(seams));
    MailCall call;
    call.attachments = file.c_str();
    int result = 0;
    const auto took = time_of([&] { result = call.send(); });
    EXPECT_EQ(result, SMTP_ERR_WRITE);
    EXPECT_GE(took, 10s);
    EXPECT_LT(took, 40s);
}

// The one real wait of the suite: the full reply limit of the call.
TEST(Dialogue, SilentServerTimesOutAfterTenSeconds)
{
    SmtpTestServer server;
    ScriptedReply silent;
    silent.silent = true;
    server.reply("greeting", silent);
    int result = 0;
    const auto took = time_of([&] { result = MailCall{}.send(); });
    EXPECT_EQ(result, SMTP_ERR_TIMEOUT);
    EXPECT_GE(took, 10s);
    EXPECT_LT(took, 14s);
}

// A server may scan the message before it answers the end of the data:
// that reply alone may take 10 minutes, every other keeps 10 s. Each limit
// in turn is cut short, with the server silent where it applies, so that
// the other limit, still long, cannot be what ends the wait.
TEST(Dialogue, TheEndOfDataReplyAloneMayTakeTenMinutes)
{
    static_assert(lsmtp::ReplyLimits{}.reply == 10s && lsmtp::ReplyLimits{}.end_of_data == 10min);
    struct Case {
        const char *silent_at;
        lsmtp::ReplyLimits limits;
        bool data_complete;
    };
    for (const Case &c : {Case{".", {10s, 300ms}, true}, Case{"greeting", {300ms, 10min}, false}}) {
        SmtpTestServer server;
        ScriptedReply silent;
        silent.silent = true;
        server.reply(c.silent_at, silent);
        int result = 0;
        const auto took = time_of([&] { result = lsmtp::send_mail_at_edge(MailCall{}.arguments(), c.limits).code; });
        EXPECT_EQ(only_session(server).data_complete, c.data_complete) << c.silent_at;
        EXPECT_EQ(result, SMTP_ERR_TIMEOUT) << c.silent_at;
        EXPECT_GE(took, 300ms) << c.silent_at;
        EXPECT_LT(took, 10s) << c.silent_at;
    }
}

// Multi-line replies and replies cut into single bytes must not shift the
// codes: each code answers the command just sent.
TEST(Dialogue, MultiLineAndSplitRepliesKeepCodesInStep)
{
    auto byte_by_byte = [](std::string reply) {
        ScriptedReply scripted = text(std::move(reply));
        for (std::size_t i = 1; i < scripted.text.size(); ++i)
            scripted.splits.push_back(i);
        return scripted;
    };
    SmtpTestServer server;
    server.reply("greeting", byte_by_byte("220-test.invalid\r\n220-welcome\r\n220 ready\r\n"));
    server.reply("HELO", text("250-test.invalid\r\n250-SIZE 1000\r\n250 HELP\r\n"));
    server.reply("MAIL", byte_by_byte("250 ok\r\n"));
    server.reply("RCPT", 1, byte_by_byte("250-first\r\n250 ok\r\n"));
    server.reply("RCPT", 2, byte_by_byte("550-no such\r\n550 user\r\n"));
    MailCall call;
    call.to_list = "a@x.test,b@x.test,c@x.test";
    EXPECT_EQ(call.send(), 550);
    EXPECT_EQ(only_session(server).commands.back(), "RCPT TO:<b@x.test>");
}

TEST(Dialogue, RecipientsAreSplitAsTheListsSay)
{
    struct Case {
        const char *to, *cc, *bcc;
        Commands recipients;
    };
    const std::vector<Case> cases = {
        {"a@x.test, b@x.test", "", "", {"RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"}},
        {"a@x.test;;b@x.test,,", "", "", {"RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"}},
        {"a@x.test", "a@x.test", "", {"RCPT TO:<a@x.test>", "RCPT TO:<a@x.test>"}},
        {"a@x.test, ", "", "", {"RCPT TO:<a@x.test>"}},
        {"\ta@x.test\v\r\n", "b@x.test\n", "\f", {"RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"}},
        {"Ann Lee <a@x.test>, <b@x.test>", "", "", {"RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"}},
        {"caf\xc3\xa9@x.test", "", "", {"RCPT TO:<caf\xc3\xa9@x.test>"}},
        {",;", ";", ",", {}},
        {"", "", "", {}},
        {"", "c@x.test", "b@x.test;a@x.test", {"RCPT TO:<c@x.test>", "RCPT TO:<b@x.test>", "RCPT TO:<a@x.test>"}},
    };
    for (const Case &c : cases) {
        SmtpTestServer server;
        MailCall call;
        call.to_list = c.to;
        call.cc_list = c.cc;
        call.bcc_list = c.bcc;
        EXPECT_EQ(call.send(), 221) << c.to;
        Commands expected = {"HELO sorvane", "MAIL FROM:<sender@example.test>"};
        expected.insert(expected.end(), c.recipients.begin(), c.recipients.end());
        expected.insert(expected.end(), {"DATA", "QUIT"});
        EXPECT_EQ(only_session(server).commands, expected) << c.to << "|" << c.cc << "|" << c.bcc;
    }
}

TEST(Dialogue, RefusedRecipientStopsBeforeData)
{
    SmtpTestServer server;
    server.reply("RCPT", 2, text("550 no such user\r\n"));
    MailCall call;
    call.to_list = "a@x.test";
    call.cc_list = "b@x.test";
    call.bcc_list = "c@x.test";
    EXPECT_EQ(call.send(), 550);
    const RecordedSession session = only_session(server);
    EXPECT_EQ(session.commands,
              (Commands{"HELO sorvane", "MAIL FROM:<sender@example.test>", "RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"}));
}

TEST(Dialogue, UnsafeArgumentsAreRefusedBeforeConnecting)
{
    SmtpTestServer server;
    const std::string long_address = std::string(1000, 'a') + "@x.test";
    std::vector<std::function<void(MailCall &)>> spoilers = {
        [](MailCall &c) { c.smtp_host = nullptr; },
        [](MailCall &c) { c.from_addr = nullptr; },
        [](MailCall &c) { c.to_list = nullptr; },
        [](MailCall &c) { c.from_addr = "a@x.test>\r\nRCPT TO:<victim@x.test"; },
        [](MailCall &c) { c.from_addr = "me@x.org> RET=FULL ENVID=injected"; },
        [](MailCall &c) { c.from_addr = " me@x.org"; },
        [](MailCall &c) { c.from_addr = "Me <me@x.org"; },
        [](MailCall &c) { c.to_list = "a b@x.test"; },
        [](MailCall &c) { c.to_list = "<a@x.test>>"; },
        [](MailCall &c) { c.to_list = "Ann <a@x.test> NOTIFY=NEVER>"; },
        [](MailCall &c) { c.to_list = "a@x.test\x7f"; },
        [](MailCall &c) { c.to_list = "Ann\r\nBcc: b@x.test <a@x.test>"; },
        [](MailCall &c) { c.cc_list = "c@x.test\x01"; },
        [](MailCall &c) { c.from_addr = "a@x.test\n"; },
        [](MailCall &c) { c.to_list = "a@x.test,b@x.test\rDATA"; },
        [](MailCall &c) { c.cc_list = "c@x.test\nd@x.test"; },
        [](MailCall &c) { c.bcc_list = "d@x.test\r\nQUIT"; },
        // Header values that would add a line or end the header block.
        [](MailCall &c) { c.subject = "hi\r\nBcc: victim@x.test"; },
        [](MailCall &c) { c.subject = "x\r\n \r\n\tmore"; },
        [](MailCall &c) { c.comments = "a\nb"; },
        [](MailCall &c) { c.mailer = "m\r"; },
        [](MailCall &c) { c.reply_to = "r@x.test\r\nBcc: v@x.test"; },
        [](MailCall &c) { c.to_header = "a\r\n\r\nbody"; },
        [](MailCall &c) { c.from_header = "a\n b"; },
        [](MailCall &c) { c.attachments = "/tmp/bad\nname.txt"; },
        // An address too long to fold, and a control character in an
        // address, which no encoding can carry.
        [&long_address](MailCall &c) { c.to_header = long_address.c_str(); },
        [](MailCall &c) { c.to_header = "Team <alice\x07@x.test>"; },
    };
    for (std::size_t i = 0; i < spoilers.size(); ++i) {
        MailCall call;
        spoilers[i](call);
        EXPECT_EQ(call.send(), SMTP_ERR_ARGUMENT) << "case " << i;
    }
    // Connections are accepted in order: had any call above connected, it
    // would show up before this one, whose folds go out as written.
    MailCall folded;
    folded.subject = "a long\r\n subject\r\n\tfolded";
    EXPECT_EQ(folded.send(), 221);
    const auto sessions = server.sessions(1);
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_NE(sessions[0].data.find("Subject:a long\r\n subject\r\n\tfolded\r\n"), std::string::npos);
}

TEST(Dialogue, UnreachableServerIsAConnectError)
{
    // Nothing listens on port 25 in this namespace: refused at once, not
    // after the 15-second connect limit.
    int result = 0;
    EXPECT_LT(time_of([&] { result = MailCall{}.send(); }), 5s);
    EXPECT_EQ(result, SMTP_ERR_CONNECT);

    MailCall unknown;
    unknown.smtp_host = "no-such-host.invalid";
    EXPECT_EQ(unknown.send(), SMTP_ERR_CONNECT);
}

TEST(Dialogue, SocketCreationFailureIsASocketError)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no per-process limit on new sockets to provoke the failure with";
#else
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit none{0, 0};  // no new descriptor can be made
        setrlimit(RLIMIT_NOFILE, &none);
        const int result = MailCall{}.send();
        _exit(write(channel[1], &result, sizeof result) == sizeof result ? 0 : 1);
    }
    close(channel[1]);
    int result = 0;
    const ssize_t got = read(channel[0], &result, sizeof result);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof result));
    EXPECT_EQ(result, SMTP_ERR_SOCKET);
#endif
}

TEST(Dialogue, NoDescriptorIsLeftOpenAfterAnyOutcome)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows counts only all handles of the process, and the test server's threads hold some";
#endif
    MailCall unknown;
    unknown.smtp_host = "no-such-host.invalid";
    unknown.send();  // the resolver may open what it keeps for the process once

    auto with_server = [](std::function<void(SmtpTestServer &)> script, int expected) {
        SmtpTestServer server;
        script(server);
        const std::size_t before = open_descriptors();
        EXPECT_EQ(MailCall{}.send(), expected);
        server.sessions(1);
        EXPECT_EQ(open_descriptors(), before) << "result " << expected;
    };
    with_server([](SmtpTestServer &) {}, 221);
    with_server([](SmtpTestServer &s) { s.reply("RCPT", text("550 no\r\n")); }, 550);
    with_server([](SmtpTestServer &s) { s.reply("DATA", closing()); }, SMTP_ERR_RECV);
    with_server([](SmtpTestServer &s) { s.reply("greeting", text("garbage\r\n")); }, SMTP_ERR_REPLY);

    const std::size_t before = open_descriptors();
    EXPECT_EQ(MailCall{}.send(), SMTP_ERR_CONNECT);  // refused
    EXPECT_EQ(unknown.send(), SMTP_ERR_CONNECT);
    MailCall unsafe;
    unsafe.to_list = "a@x.test\r\nb@x.test";
    EXPECT_EQ(unsafe.send(), SMTP_ERR_ARGUMENT);
    EXPECT_EQ(open_descriptors(), before);
}

// A server that goes away while a long command is being written must not
// kill the host process with SIGPIPE; the call just fails.
TEST(Dialogue, ServerGoneDuringAWriteRaisesNoSignal)
{
#ifndef _WIN32
    lsmtp::test::SigpipeCounter sigpipe;
#endif
    SmtpTestServer server;
    ScriptedReply then_gone = text("250 ok\r\n");
    then_gone.close_after = true;
    server.reply("MAIL", then_gone);
    const std::string huge_recipient(8 << 20, 'r');
    MailCall call;
    call.to_list = huge_recipient.c_str();
    call.to_header = "Undisclosed"; // a To line of that address could not be folded
    EXPECT_EQ(call.send(), SMTP_ERR_RECV);
#ifndef _WIN32
    EXPECT_EQ(sigpipe.raised, 0);
#endif
}

} // namespace
