// lsmtp-send run in-process against the scripted test server: the exit
// status, the one result line on standard output, and on standard error
// the step that failed with the server's own words, or with --verbose the
// dialogue.
#include "diagnosis.h"
#include "scripted.h"
#include "send_tool.h"
#include "smtp_test_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using lsmtp::test::closing;
using lsmtp::test::ScriptedReply;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::text;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun run_tool(std::vector<std::string> extra)
{
    std::vector<std::string> arguments{"--host", "127.0.0.1", "--from", "a@any.test", "--to", "b@any.test",
                                       "--subject", "hello", "--body", "text"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = run_send_tool(arguments, ToolStreams{out, err, false});
    run.out = out.str();
    run.err = err.str();
    return run;
}

struct Failure {
    const char *key; // the script key answered with `reply`
    ScriptedReply reply;
    int status;
    const char *told; // on standard error, after "lsmtp-send: "
};

TEST(SendTool, FailureNamesTheStepAndQuotesTheServer)
{
    const Failure failures[] = {
        {"greeting", text("554 5.3.2 not taking mail\r\n"), 69,
         "127.0.0.1 refused the session in its greeting: 554 5.3.2 not taking mail\n"},
        {"HELO", text("504 5.5.2 <x>: Helo command rejected\r\n"), 69,
         "127.0.0.1 refused HELO sorvane: 504 5.5.2 <x>: Helo command rejected\n"},
        {"MAIL", text("451 4.7.1 Greylisted, try again in 300 seconds\r\n"), 75,
         "127.0.0.1 refused MAIL FROM:<a@any.test>: 451 4.7.1 Greylisted, try again in 300 seconds\n"},
        {"RCPT", text("550-5.1.1 <b@any.test>: Recipient address rejected:\r\n550 5.1.1 User unknown\r\n"), 69,
         "127.0.0.1 refused RCPT TO:<b@any.test>: 550-5.1.1 <b@any.test>: Recipient address rejected:\n"
         "    550 5.1.1 User unknown\n"},
        {"DATA", text("554 5.5.1 Error: no valid recipients\r\n"), 69,
         "127.0.0.1 refused DATA: 554 5.5.1 Error: no valid recipients\n"},
        {".", text("552 5.3.4 Message size exceeds fixed limit\r\n"), 69,
         "127.0.0.1 refused the message: 552 5.3.4 Message size exceeds fixed limit\n"},
        {"RCPT", text("354 go ahead\r\n"), 76, "127.0.0.1 answered RCPT TO:<b@any.test> with an unexpected reply: 354 go ahead\n"},
        {"MAIL", closing(), 75, "the connection to 127.0.0.1 was lost waiting for the reply to MAIL FROM:<a@any.test>"},
        {".", closing(), 75, "127.0.0.1 may have accepted the message all the same"},
    };
    for (const Failure &failure : failures) {
        SCOPED_TRACE(failure.told);
        SmtpTestServer server;
        server.reply(failure.key, failure.reply);
        const ToolRun run = run_tool({});
        EXPECT_EQ(run.status, failure.status);
        EXPECT_NE(run.err.find(failure.told), std::string::npos) << run.err;
        // One result line, the code first.
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        EXPECT_EQ(run.out.find_first_of("4567"), 0u) << run.out;
    }
}

// Only a loss after the end-of-data marker leaves the message's fate open.
TEST(SendTool, MayHaveAcceptedOnlyAfterTheEndOfData)
{
    for (const char *key : {"greeting", "MAIL", "DATA"}) {
        SmtpTestServer server;
        server.reply(key, closing());
        const ToolRun run = run_tool({});
        EXPECT_EQ(run.status, 75) << key;
        EXPECT_EQ(run.err.find("may have accepted"), std::string::npos) << key << ": " << run.err;
    }
}

TEST(SendTool, ArgumentTheLibraryRefusesIsNamedByItsOption)
{
    const ToolRun run = run_tool({"--reply-to", "x@any.test\r\nBcc: victim@any.test"});
    EXPECT_EQ(run.status, 65);
    EXPECT_EQ(run.out, "740 SMTP_ERR_ARGUMENT: an argument is missing or unsafe; nothing was sent\n");
    EXPECT_NE(run.err.find("lsmtp-send: --reply-to: refused reply_to, item 1: a control character; nothing was sent"),
              std::string::npos)
        << run.err;
}

// The dialogue as it happens, the message summarised: headers and sizes,
// never the encoded content; standard output keeps its one line.
TEST(SendTool, VerboseShowsTheDialogueAndSummarisesTheMessage)
{
    const lsmtp::test::TempFolder folder;
    const std::string content(3000, 'z');
    const std::string attachment = folder.file("data.bin", content);
    SmtpTestServer server;
    server.reply("MAIL", text("250 2.1.0 Ok\r\n"));
    const ToolRun run = run_tool({"-v", "--to", "c@any.test", "--attach", attachment});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "221 accepted by 127.0.0.1: 250 queued\n");
    for (const char *line : {"< 220 ", "> MAIL FROM:<a@any.test>\n< 250 2.1.0 Ok\n", "> RCPT TO:<b@any.test>\n",
                             "> RCPT TO:<c@any.test>\n", "> DATA\n< 354", "> Subject:", "> To:",
                             "b@any.test, c@any.test\n", "> QUIT\n< 221"})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << " missing from:\n" << run.err;
    // Two parts: the body's few bytes, and the 3000 bytes as 4000 base64
    // characters in lines of 76 with their line ends.
    std::vector<long> sizes;
    const std::string suffix = " bytes of content)\n";
    for (std::size_t end = run.err.find(suffix); end != std::string::npos; end = run.err.find(suffix, end + 1)) {
        const std::size_t start = run.err.rfind("\n> (", end);
        ASSERT_NE(start, std::string::npos);
        sizes.push_back(std::stol(run.err.substr(start + 4, end - start - 4)));
    }
    ASSERT_EQ(sizes.size(), 2u) << run.err;
    EXPECT_LT(sizes[0], 10);
    EXPECT_GE(sizes[1], 4000);
    EXPECT_LE(sizes[1], 4000 + 2 * 53);
    EXPECT_EQ(run.err.find("enp6enp6"), std::string::npos) << "the attachment's base64 was shown";
}

// Without --verbose nothing but the result line reaches either stream: the
// code, who accepted the message and the server's reply, one line however
// many the reply had.
TEST(SendTool, SuccessLineQuotesTheAcceptance)
{
    const struct {
        const char *key, *reply, *line;
    } cases[] = {
        {".", "250-2.0.0 Ok\r\n250 2.0.0 queued as 4F1A2B3C\r\n",
         "221 accepted by 127.0.0.1: 250-2.0.0 Ok 250 2.0.0 queued as 4F1A2B3C\n"},
        // QUIT refused after acceptance: the code that accepted the data.
        {"QUIT", "500 5.5.1 no\r\n", "250 accepted by 127.0.0.1: 250 queued\n"},
    };
    for (const auto &c : cases) {
        SmtpTestServer server;
        server.reply(c.key, text(c.reply));
        const ToolRun run = run_tool({});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.line);
        EXPECT_EQ(run.err, "");
    }
}

// The statuses a scripted server cannot provoke.
TEST(SendTool, ExitStatusOfLibraryFailures)
{
    struct Case {
        int code;
        lsmtp::Step step;
        int status;
    };
    const Case cases[] = {
        {250, lsmtp::Step::none, 0},     {221, lsmtp::Step::none, 0},        {400, lsmtp::Step::mail, 75},
        {499, lsmtp::Step::rcpt, 75},    {500, lsmtp::Step::helo, 69},       {599, lsmtp::Step::data, 69},
        {700, lsmtp::Step::lookup, 68},  {700, lsmtp::Step::connect, 75},    {700, lsmtp::Step::none, 75},
        {710, lsmtp::Step::connect, 71}, {711, lsmtp::Step::end_of_data, 75}, {712, lsmtp::Step::greeting, 76},
        {713, lsmtp::Step::rcpt, 75},    {720, lsmtp::Step::attachment, 73}, {721, lsmtp::Step::attachment, 66},
        {730, lsmtp::Step::message, 75}, {740, lsmtp::Step::arguments, 65},  {750, lsmtp::Step::memory, 71},
        {799, lsmtp::Step::none, 70},
    };
    for (const Case &c : cases) {
        lsmtp::Outcome outcome;
        outcome.code = c.code;
        outcome.step = c.step;
        EXPECT_EQ(exit_status(outcome), c.status) << c.code;
    }
}

} // namespace
