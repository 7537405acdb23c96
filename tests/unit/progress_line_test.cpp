// lsmtp-send's progress line: what it says and how often it is drawn.
#include "progress_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

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
