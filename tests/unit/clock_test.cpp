// The platform's clock: the pause that paces a large attachment.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

// At least as long as asked.
TEST(Pause, OneMillisecondPauseLastsAtLeastOneMillisecond)
{
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        lsmtp::platform::pause_milliseconds(1);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 1ms);
    }
}

} // namespace
