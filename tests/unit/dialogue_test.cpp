// The SMTP dialogue of lsmtp_send_mail against the scripted test server.
#include "mail_call.h"
#include "smtp_test_server.h"

#include <gtest/gtest.h>

using lsmtp::test::MailCall;
using lsmtp::test::ScriptedReply;
using lsmtp::test::SmtpTestServer;

TEST(Dialogue, SendsTheCommandSequenceByteForByte)
{
    SmtpTestServer server;
    MailCall call;
    call.to_list = "a@x.test";
    call.cc_list = "b@x.test";
    call.bcc_list = "c@x.test";
    EXPECT_EQ(call.send(), 221);
    const auto sessions = server.sessions(1);
    ASSERT_EQ(sessions.size(), 1u);
    // Nothing is written between the DATA reply and the end-of-data marker
    // yet: the message content is composed elsewhere.
    EXPECT_EQ(sessions[0].received.substr(0, sessions[0].received.find("DATA\r\n") + 6),
              "HELO sorvane\r\n"
              "MAIL FROM:<sender@example.test>\r\n"
              "RCPT TO:<a@x.test>\r\n"
              "RCPT TO:<b@x.test>\r\n"
              "RCPT TO:<c@x.test>\r\n"
              "DATA\r\n");
    EXPECT_TRUE(sessions[0].data_complete);
    EXPECT_EQ(sessions[0].commands.back(), "QUIT");
}
