// What the library's session observer hears of the calls of its thread.
#include "base/session_observer.h"
#include "mail_call.h"
#include "portable.h"
#include "progress_line.h"
#include "smtp_test_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using lsmtp::test::MailCall;
using lsmtp::test::SmtpTestServer;

namespace {

struct Tally final : lsmtp::SessionObserver {
    std::uint64_t encoded_bytes = 0;
    std::uint64_t sent_bytes = 0;
    void encoded(std::size_t bytes) override { encoded_bytes += bytes; }
    void sent(std::size_t bytes) override { sent_bytes += bytes; }
};

TEST(SessionObserver, HearsEveryEncodedAndSentByteOfItsThreadsCalls)
{
    const std::filesystem::path folder = lsmtp::test::make_scratch_folder("lsmtp-progress");
    ASSERT_FALSE(folder.empty());
    const std::string file = (folder / "data.bin").string();
    // More than one encoder block, and a length that is no multiple of 3.
    std::ofstream(file, std::ios::binary) << std::string(100001, 'x');

    SmtpTestServer server;
    MailCall call;
    call.body = "some text";
    call.attachments = file.c_str();
    Tally tally;
    {
        const lsmtp::ScopedSessionObserver observing(tally);
        ASSERT_EQ(call.send(), 221);  // not a second wait for what did not come
    }
    // Outside the scope nothing more is heard.
    EXPECT_EQ(call.send(), 221);
    const auto sessions = server.sessions(2);
    std::filesystem::remove_all(folder);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(tally.encoded_bytes, base64_size(100001));
    // Everything after the DATA command up to QUIT: the content and its
    // end-of-data marker.
    const std::string &received = sessions[0].received;
    const std::size_t content_start = received.find("DATA\r\n") + 6;
    EXPECT_EQ(tally.sent_bytes, received.rfind("QUIT\r\n") - content_start);
}

} // namespace
