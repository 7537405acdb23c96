// The result's text that lsmtp_send_mail_ex hands back: one row per kind of
// outcome the other suites do not word, and the cuts to the caller's buffer.
#include "allocation_limit.h"
#include "encode/charset.h"
#include "mail_call.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "submit/result_text.h"
#include "submit/send_mail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using lsmtp::test::MailCall;
using lsmtp::test::with;
using lsmtp::test::text;
using namespace std::chrono_literals;

namespace {

TEST(ResultText, OneRowPerKindOfOutcome)
{
    // A path that makes the text run past the longest one, in characters of
    // two bytes so that the cut must respect them.
    std::string long_path = "/nonexistent/";
    while (long_path.size() < 1500)
        long_path += "\xC3\xA9";
    const std::string large_body(32 << 20, 'b');
    lsmtp::test::ScriptedReply reset, reset_at_first_byte, silent;
    reset.reset = reset_at_first_byte.reset = silent.silent = true;
    reset_at_first_byte.after_data_bytes = 1;
    struct Row {
        const char *kind;
        MailCall call;
        const char *key, *reply;
        int code;
        std::string starts, ends;
        lsmtp::test::ScriptedReply scripted = {}; // for `key`, when `reply` is empty
    };
    const Row rows[] = {
        {"accepted", {}, ".", "250 2.0.0 Ok: queued as 4F1A2B3C\r\n", 221,
         "accepted by 127.0.0.1: 250 2.0.0 Ok: queued as 4F1A2B3C", ""},
        {"C1 controls in a refusal", {}, "RCPT", "550-\xC2\x9B" "2J\r\n550 \xC2\x9D" "0;title\xC2\x9C\r\n", 550,
         "127.0.0.1 refused RCPT TO:<to@example.test>: 550-\\xC2\\x9B2J\n550 \\xC2\\x9D0;title\\xC2\\x9C", ""},
        {"a port after an IPv4 address", with([](MailCall &c) { c.smtp_host = "127.0.0.2:587"; }), "", "",
         SMTP_ERR_CONNECT, "cannot connect to 127.0.0.2:587: the name does not resolve to an address (",
         "); the port is always 25: give the host alone"},
        {"the rule and the item", with([](MailCall &c) { c.to_list = "a@x.test, Ann <b@x.test> x"; }), "", "",
         SMTP_ERR_ARGUMENT, "refused to_list, item 2: text after '>'; nothing was sent", ""},
        {"cut at the longest text", with([&](MailCall &c) { c.attachments = long_path.c_str(); }), "", "",
         SMTP_ERR_ATTACH_OPEN, "attachment '/nonexistent/\xC3\xA9", "\xC3\xA9..."},
        // The system's word on a connection the server reset, while the
        // message went out (larger than the socket buffers) and after it.
        {"a reset mid-data", with([&](MailCall &c) { c.body = large_body.c_str(); }), ".", "", SMTP_ERR_WRITE,
         "sending the message to 127.0.0.1 failed, and the server gave no reason: Connection reset by peer", "",
         reset_at_first_byte},
        // Under Wine this reset reaches the client with no word from the system.
        {"a reset after the end of the data", {}, ".", "", SMTP_ERR_RECV,
#ifdef _WIN32
         "the connection to 127.0.0.1 was lost waiting for the reply to the end-of-data marker",
         "; 127.0.0.1 may have accepted the message all the same: check before sending it again",
#else
         "the connection to 127.0.0.1 was lost waiting for the reply to the end-of-data marker: Connection reset by "
         "peer; 127.0.0.1 may have accepted the message all the same: check before sending it again", "",
#endif
         reset},
        {"silence after the end of the data", {}, ".", "", SMTP_ERR_TIMEOUT,
         "127.0.0.1 gave no complete reply in time waiting for the reply to the end-of-data marker; 127.0.0.1 may "
         "have accepted the message all the same: check before sending it again", "", silent},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.kind);
        lsmtp::test::SmtpTestServer server;
        if (*row.key != '\0')
            server.reply(row.key, *row.reply != '\0' ? text(row.reply) : row.scripted);
        // As lsmtp_send_mail_ex tells it, with a short wait for a reply that never comes.
        const lsmtp::Outcome outcome = lsmtp::send_mail_at_edge(row.call.arguments(), {10s, 300ms});
        char buffer[LSMTP_RESULT_TEXT_SIZE];
        lsmtp::write_result_text(outcome, buffer, sizeof buffer);
        EXPECT_EQ(outcome.code, row.code);
        const std::string told = buffer;
        EXPECT_TRUE(told.starts_with(row.starts)) << told;
        EXPECT_TRUE(told.ends_with(row.ends.empty() ? row.starts : row.ends)) << told;
    }
}

// Out of memory from the first allocation on, the text is still told.
TEST(ResultText, OutOfMemoryIsToldWithoutAllocating)
{
    lsmtp::test::SmtpTestServer server;
    char buffer[LSMTP_RESULT_TEXT_SIZE];
    int code = 0;
    {
        const lsmtp::test::AllocationLimit limit(0);
        code = MailCall{}.send(buffer, sizeof buffer);
    }
    EXPECT_EQ(code, SMTP_ERR_MEMORY);
    EXPECT_STREQ(buffer, "out of memory; the message was not completed");
}

// Every buffer size gets the longest whole characters that fit; a size of 0
// or a null buffer gets nothing.
TEST(ResultText, SmallBuffersCutAtCharacterBoundaries)
{
    MailCall call;
    call.attachments = "/nonexistent/gr\xC3\xBC\xC3\x9F" "e-\xE2\x82\xAC-\xF0\x9F\x93\x8E.txt";
    char whole_text[LSMTP_RESULT_TEXT_SIZE];
    ASSERT_EQ(call.send(whole_text, sizeof whole_text), SMTP_ERR_ATTACH_OPEN);
    const std::string whole = whole_text;
    for (int size = 0; size <= static_cast<int>(whole.size()) + 1; ++size) {
        std::string buffer(whole.size() + 2, '#');
        EXPECT_EQ(call.send(buffer.data(), size), SMTP_ERR_ATTACH_OPEN);
        if (size == 0) {
            EXPECT_EQ(buffer, std::string(whole.size() + 2, '#'));
            continue;
        }
        const std::string told = buffer.c_str();
        EXPECT_TRUE(whole.starts_with(told)) << size;
        EXPECT_TRUE(lsmtp::is_utf8(told)) << size;
        // At most the three bytes of a four-byte character are left out.
        EXPECT_LE(told.size() + 1, static_cast<std::size_t>(size)) << size;
        EXPECT_GE(told.size() + 4, static_cast<std::size_t>(size)) << size;
    }
    EXPECT_EQ(call.send(nullptr, LSMTP_RESULT_TEXT_SIZE), SMTP_ERR_ATTACH_OPEN);
}

} // namespace
