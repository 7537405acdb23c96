// The progress the library's private session observer hears, and what
// lsmtp-send makes of it: the progress line.
#include "mail_call.h"
#include "portable.h"
#include "progress_line.h"
#include "smtp_test_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using lsmtp::test::MailCall;
using lsmtp::test::SmtpTestServer;
using namespace std::chrono_literals;

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
        EXPECT_EQ(call.send(), 221);
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

TEST(ProgressLine, FormatsWorkDoneRateAndTimeLeft)
{
    struct Case {
        Progress progress;
        std::string expected;
    };
    const Case cases[] = {
        {{0, 0, 68'900'000, 0}, "encoded 0.0 MB, sent 0.0 of 68.9 MB"},
        // Half the encoding in 2 s: a quarter of the work, 6 s to go.
        {{34'450'000, 0, 68'900'000, 2}, "encoded 34.5 MB, sent 0.0 of 68.9 MB, 0.0 MB/s, 0:06 left"},
        // Headers make the message outgrow the estimate: the total follows.
        {{2'000'000, 2'100'000, 2'000'000, 1}, "encoded 2.0 MB, sent 2.1 of 2.1 MB, 2.1 MB/s, 0:00 left"},
        {{1'000'000, 0, 100'000'000, 1800}, "encoded 1.0 MB, sent 0.0 of 100.0 MB, 0.0 MB/s, 99:30:00 left"},
        // Too early to judge the pace.
        {{1'000'000, 0, 100'000'000, 0.5}, "encoded 1.0 MB, sent 0.0 of 100.0 MB, 0.0 MB/s"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(format_progress(c.progress), c.expected);
}

TEST(ProgressLine, RedrawsInPlaceAtMostFourTimesASecondAndEndsTheLine)
{
    std::ostringstream out;
    double now = 0;
    ProgressLine line(out, 2'000'000, [&now] { return now; });
    for (double at : {1.0, 1.1, 1.2, 1.25, 1.3, 1.6}) {
        now = at;
        line.sent(100'000);
    }
    const std::string drawn = out.str();
    // Drawn at 1, 1.25 and 1.6.
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\r'), 3);
    EXPECT_EQ(drawn.find('\n'), std::string::npos);
    now = 2;
    line.encoded(2'000'000);
    line.sent(1'400'000);
    line.finish();
    const std::string last = out.str().substr(out.str().rfind('\r'));
    EXPECT_EQ(last, "\rlsmtp-send: encoded 2.0 MB, sent 2.0 of 2.0 MB, 1.0 MB/s, 0:00 left\n");
}

} // namespace
