// The Date header text and the clock reading it comes from.
#include "encode/date_header.h"
#include "platform/seams.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using lsmtp::platform::ScopedSeams;
using lsmtp::platform::Seams;
using lsmtp::platform::WallClock;

namespace {

// The texts the append functions write.
std::string date_text(std::int64_t instant) { std::string text; lsmtp::append_date_text(text, instant); return text; }
std::string date_now() { std::string text; lsmtp::append_date_now(text); return text; }

// Sets the local zone through TZ for one test and restores it afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ")) {
            had_ = true;
            old_ = old;
        }
        lsmtp::test::set_variable("TZ", zone);
        lsmtp::test::reread_time_zone();
    }
    ~ScopedZone()
    {
        if (had_)
            lsmtp::test::set_variable("TZ", old_.c_str());
        else
            lsmtp::test::unset_variable("TZ");
        lsmtp::test::reread_time_zone();
    }
    ScopedZone(const ScopedZone &) = delete;
    ScopedZone &operator=(const ScopedZone &) = delete;

private:
    bool had_ = false;
    std::string old_;
};

#ifdef _WIN32
// The Windows runtime reads only NAME, hours west of UTC, optional DST NAME.
constexpr const char *two_hours_east = "XXA-2";
constexpr const char *central_europe = "CET-1CEST";
#else
constexpr const char *two_hours_east = "<+02>-2";
constexpr const char *central_europe = "CET-1CEST,M3.5.0,M10.5.0/3";
#endif

// 2004-07-03 23:59:59 UTC.
constexpr std::int64_t saturday_last_second = 1088899199;

Seams clock_at(std::int64_t seconds, int milliseconds)
{
    Seams seams;
    seams.clock = [=] { return WallClock{seconds, milliseconds}; };
    return seams;
}

} // namespace

// Straight from the instant to UTC, whatever the local zone: exact across
// 2038, 2100 and 2106, and in the hour repeated when daylight saving ends.
TEST(DateHeader, WritesTheUtcMomentOfAnInstant)
{
    struct Case {
        std::int64_t instant;
        const char *text;
    };
    const Case cases[] = {
        {0, "?"}, // the clock gave nothing
        {1, "Thu, 01 Jan 1970 00:00:01 GMT"},
        {946684799, "Fri, 31 Dec 1999 23:59:59 GMT"},
        {2147483647, "Tue, 19 Jan 2038 03:14:07 GMT"},
        {2147483648, "Tue, 19 Jan 2038 03:14:08 GMT"},
        {4107542399, "Sun, 28 Feb 2100 23:59:59 GMT"},
        {4107542400, "Mon, 01 Mar 2100 00:00:00 GMT"}, // 2100 is no leap year
        {4294967296, "Sun, 07 Feb 2106 06:28:16 GMT"}, // past the unsigned 32-bit second
        {-30610224001, "Tue, 31 Dec 0999 23:59:59 GMT"}, // years take four digits at least
        {253402300800, "Sat, 01 Jan 10000 00:00:00 GMT"},
        {-62167219201, "?"}, // a second before the year 0
        {1099182600, "Sun, 31 Oct 2004 00:30:00 GMT"}, // 02:30 CEST
        {1099186200, "Sun, 31 Oct 2004 01:30:00 GMT"}, // 02:30 CET, an hour later
    };
    for (const char *zone : {two_hours_east, central_europe}) {
        ScopedZone scoped(zone);
        for (const Case &c : cases)
            EXPECT_EQ(date_text(c.instant), c.text) << c.instant << " " << zone;
    }
}

TEST(DateClock, DateHeaderNowReadsTheClockOnce)
{
    ScopedZone zone(two_hours_east);
    int readings = 0;
    Seams seams;
    seams.clock = [&readings] {
        ++readings;
        // Each further reading would be a millisecond later, across midnight.
        return WallClock{saturday_last_second + (readings > 1 ? 1 : 0), readings > 1 ? 0 : 999};
    };
    ScopedSeams installed(std::move(seams));
    EXPECT_EQ(date_now(), "Sat, 03 Jul 2004 23:59:59 GMT");
    EXPECT_EQ(readings, 1);
}

TEST(DateClock, ThreadsMakeTheirOwnTextsAtOnce)
{
    // Each thread has its own clock; a shared text buffer would hand one
    // thread another's moment.
    struct Expectation {
        std::int64_t seconds;
        const char *text;
    };
    const Expectation moments[] = {
        {1088858096, "Sat, 03 Jul 2004 12:34:56 GMT"},
        {3000000000, "Sat, 24 Jan 2065 05:20:00 GMT"},
        {4107542400, "Mon, 01 Mar 2100 00:00:00 GMT"},
        {2147483647, "Tue, 19 Jan 2038 03:14:07 GMT"},
    };
    std::vector<int> wrong(std::size(moments), 0);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < std::size(moments); ++i) {
        threads.emplace_back([&, i] {
            ScopedSeams seams(clock_at(moments[i].seconds, 0));
            for (int round = 0; round < 2000; ++round)
                wrong[i] += date_now() != moments[i].text;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (std::size_t i = 0; i < std::size(moments); ++i)
        EXPECT_EQ(wrong[i], 0) << moments[i].text;
}
