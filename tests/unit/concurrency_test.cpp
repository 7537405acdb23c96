// Many calls at once, to servers that accept, refuse, hang up, talk
// nonsense or are not there, all attaching the same file: every call must
// get its own server's answer, and the encoded copies must neither collide
// nor stay behind. The ThreadSanitizer build runs this test.
#include "mail_call.h"
#include "scripted.h"
#include "smtp_test_server.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using lsmtp::test::closing;
using lsmtp::test::MailCall;
using lsmtp::test::SmtpTestServer;
using lsmtp::test::TempFolder;
using lsmtp::test::text;

namespace {

struct ServerKind {
    const char *name;
    const char *key;  // the command the server answers its own way
    lsmtp::test::ScriptedReply reply;
    int expected;
};

} // namespace

TEST(Concurrency, ThirtyTwoCallsToGoodAndFailingServers)
{
    const std::vector<ServerKind> kinds = {
        {"accepts", "QUIT", text("221 bye\r\n"), 221},
        {"refuses the recipient", "RCPT", text("550 no such user\r\n"), 550},
        {"hangs up at DATA", "DATA", closing(), SMTP_ERR_RECV},
        {"greets with garbage", "greeting", text("hello?\r\n"), SMTP_ERR_REPLY},
        {"is not there", nullptr, {}, SMTP_ERR_CONNECT},
    };
    constexpr int calls = 32;
    TempFolder folder;
    const std::string attachment = folder.file("shared.txt", "the same file for every call\n");

    std::vector<std::string> hosts, senders;
    std::vector<std::unique_ptr<SmtpTestServer>> servers(calls);
    for (int i = 0; i < calls; ++i) {
        hosts.push_back("127.0.0." + std::to_string(i + 2));
        senders.push_back("sender" + std::to_string(i) + "@x.test");
        const ServerKind &kind = kinds[i % kinds.size()];
        if (kind.key == nullptr)
            continue;
        servers[i] = std::make_unique<SmtpTestServer>(hosts[i]);
        servers[i]->reply(kind.key, kind.reply);
    }

    std::vector<int> results(calls, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < calls; ++i) {
        threads.emplace_back([&, i] {
            MailCall call;
            call.smtp_host = hosts[i].c_str();
            call.from_addr = senders[i].c_str();
            call.body = "body text";
            call.attachments = attachment.c_str();
            results[i] = call.send();
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    for (int i = 0; i < calls; ++i) {
        const ServerKind &kind = kinds[i % kinds.size()];
        EXPECT_EQ(results[i], kind.expected) << "call " << i << " to a server that " << kind.name;
        if (kind.expected != 221)
            continue;
        const lsmtp::test::RecordedSession session = lsmtp::test::only_session(*servers[i]);
        ASSERT_GE(session.commands.size(), 2u);
        EXPECT_EQ(session.commands[1], "MAIL FROM:<" + senders[i] + ">");
        EXPECT_TRUE(session.data_complete);
        EXPECT_NE(session.data.find("filename=shared.txt\r\n\r\ndGhlIHNhbWUgZmlsZSBmb3IgZXZlcnkgY2FsbAo=\r\n"),
                  std::string::npos)
            << session.data;
    }
    EXPECT_EQ(folder.names(), std::set<std::string>{"shared.txt"});
}
