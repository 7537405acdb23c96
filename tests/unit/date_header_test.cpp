// The Date header text, its packed dates and times, and the clock readings.
#include "encode/date_header.h"
#include "platform/seams.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

using lsmtp::PackedMoment;
using lsmtp::platform::ScopedSeams;
using lsmtp::platform::Seams;
using lsmtp::platform::WallClock;

namespace {

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

constexpr const char *utc_zone = "UTC0";
#ifdef _WIN32
// The Windows runtime reads only NAME, hours west of UTC, optional DST NAME.
constexpr const char *two_hours_east = "XXA-2";
constexpr const char *two_hours_west = "XXB2";
constexpr const char *central_europe = "CET-1CEST";
#else
constexpr const char *two_hours_east = "<+02>-2";
constexpr const char *two_hours_west = "<-02>2";
constexpr const char *central_europe = "CET-1CEST,M3.5.0,M10.5.0/3";
#endif

#ifdef _WIN32
// Whether mktime puts 3 July 2004, noon, in daylight saving time under the
// current zone.
bool runtime_applies_daylight_saving()
{
    std::tm july{};
    july.tm_year = 104;
    july.tm_mon = 6;
    july.tm_mday = 3;
    july.tm_hour = 12;
    july.tm_isdst = -1;
    return std::mktime(&july) != static_cast<std::time_t>(-1) && july.tm_isdst > 0;
}
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

TEST(DateWeekday, GivesTheDocumentedValues)
{
    EXPECT_EQ(lsmtp::weekday_of(20040703), 6);
    EXPECT_EQ(lsmtp::weekday_of(19700101), 4);
    EXPECT_EQ(lsmtp::weekday_of(20000229), 2);
    EXPECT_EQ(lsmtp::weekday_of(21000228), 0);
    EXPECT_EQ(lsmtp::weekday_of(21000301), 1);
    EXPECT_EQ(lsmtp::weekday_of(0), 3);
}

TEST(DateWeekday, AgreesWithThePlatformCalendarFrom1601To4600)
{
    // Every day from 1601-01-01 to 4600-02-28 (4600 has no 29 February),
    // against the weekday of <chrono>'s calendar.
    constexpr std::int64_t first = -11644473600;
    constexpr std::int64_t last = 82999814400;
    int mismatches = 0;
    for (std::int64_t day = first; day <= last && mismatches < 5; day += 86400) {
        const std::chrono::sys_days days{std::chrono::days{day / 86400}};
        const std::chrono::year_month_day calendar{days};
        const int date = static_cast<int>(calendar.year()) * 10000 +
                         static_cast<int>(static_cast<unsigned>(calendar.month())) * 100 +
                         static_cast<int>(static_cast<unsigned>(calendar.day()));
        const int weekday = static_cast<int>(std::chrono::weekday{days}.c_encoding());
        if (lsmtp::weekday_of(date) != weekday) {
            ADD_FAILURE() << date << " gives " << lsmtp::weekday_of(date) << ", not " << weekday;
            ++mismatches;
        }
    }
    // Where the sum turns negative the value leaves 0 to 6 (a Saturday).
    EXPECT_EQ(lsmtp::weekday_of(46000301), -1);
}

TEST(DateFormat, WritesTheUtcMomentInTheFixedLayout)
{
    ScopedZone zone(utc_zone);
    const std::string text = lsmtp::format_date_header(20040703, 12345678);
    EXPECT_EQ(text, "Sat, 03 Jul 2004 12:34:56 GMT") << "the hundredths are dropped";
    EXPECT_EQ(text.size(), 29u);
    EXPECT_EQ(lsmtp::format_date_header(19991231, 23595900), "Fri, 31 Dec 1999 23:59:59 GMT");
    EXPECT_EQ(lsmtp::format_date_header(21000301, 0), "Mon, 01 Mar 2100 00:00:00 GMT");
}

TEST(DateFormat, ConvertsTheLocalZoneToUtc)
{
    {
        ScopedZone zone(two_hours_east);
        // 01:30 local is still the day before in UTC.
        EXPECT_EQ(lsmtp::format_date_header(20040703, 1300000), "Fri, 02 Jul 2004 23:30:00 GMT");
        const PackedMoment utc = lsmtp::local_to_utc(20040703, 1300000);
        EXPECT_EQ(utc.date, 20040702);
        EXPECT_EQ(utc.time, 23300000);
    }
    {
        ScopedZone zone(two_hours_west);
        EXPECT_EQ(lsmtp::format_date_header(20041231, 23000000), "Sat, 01 Jan 2005 01:00:00 GMT");
    }
    {
        // The platform decides on daylight saving by the date itself.
        ScopedZone zone(central_europe);
#ifdef _WIN32
        if (!runtime_applies_daylight_saving())
            GTEST_SKIP() << "this C runtime applies no daylight saving after a change of zone (Wine's does not)";
#endif
        EXPECT_EQ(lsmtp::format_date_header(20040703, 12000000), "Sat, 03 Jul 2004 10:00:00 GMT");
        EXPECT_EQ(lsmtp::format_date_header(20040103, 12000000), "Sat, 03 Jan 2004 11:00:00 GMT");
    }
}

TEST(DateFormat, GivesAQuestionMarkForAMomentThatCannotBeConverted)
{
    ScopedZone zone(utc_zone);
    {
        Seams seams;
        seams.local_instant = [](const std::tm &) { return std::optional<std::int64_t>(); };
        ScopedSeams installed(std::move(seams));
        EXPECT_EQ(lsmtp::instant_from_local(20040703, 12345678), 0);
        const PackedMoment utc = lsmtp::local_to_utc(20040703, 12345678);
        EXPECT_EQ(utc.date, 0);
        EXPECT_EQ(utc.time, 0);
        EXPECT_EQ(lsmtp::format_date_header(20040703, 12345678), "?");
    }
    // The local moment of the instant 0 counts as no instant.
    EXPECT_EQ(lsmtp::format_date_header(19700101, 0), "?");
    EXPECT_EQ(lsmtp::format_date_header(19700101, 100), "Thu, 01 Jan 1970 00:00:01 GMT");
    // A month the conversion normalises is fine; no month name for 0 is not.
    EXPECT_EQ(lsmtp::format_date_header(20041301, 0), "Sat, 01 Jan 2005 00:00:00 GMT");
}

TEST(DateFormat, AUtcYearBeyondThePackedRangeIsNoDate)
{
    // The last day a packed date holds, 23:00 local, is already the next
    // year in UTC: too large to pack, so no date rather than an overflow.
#ifdef _WIN32
    GTEST_SKIP() << "the Windows runtime's calendar ends with the year 3000";
#endif
    ScopedZone zone(two_hours_west);
    EXPECT_EQ(lsmtp::local_to_utc(2147481231, 23000000).date, 0);
    EXPECT_EQ(lsmtp::format_date_header(2147481231, 23000000), "?");
    EXPECT_EQ(lsmtp::local_to_utc(2147481231, 20000000).date, 2147481231);
}

TEST(DatePacking, PacksInstantsExactlyAcross2038And2100)
{
    struct Case {
        std::int64_t instant;
        int date;
        int time;
    };
    const Case cases[] = {
        {0, 0, 0},                         // no instant
        {2147483647, 20380119, 3140700},   // the last signed 32-bit second
        {2147483648, 20380119, 3140800},
        {3000000000, 20650124, 5200000},
        {4107542399, 21000228, 23595900},
        {4107542400, 21000301, 0},         // 2100 is no leap year
        {4294967295, 21060207, 6281500},   // the last unsigned 32-bit second
        {4294967296, 21060207, 6281600},
    };
    ScopedZone zone(two_hours_east); // the UTC packings ignore the local zone
    for (const Case &c : cases) {
        SCOPED_TRACE(c.instant);
        EXPECT_EQ(lsmtp::utc_packed_date(c.instant), c.date);
        EXPECT_EQ(lsmtp::utc_packed_time(c.instant), c.time);
    }
    EXPECT_EQ(lsmtp::local_packed_date(0), 0);
    // 2004-07-02 23:30 UTC is 3 July two hours east.
    EXPECT_EQ(lsmtp::local_packed_date(1088811000), 20040703);
    EXPECT_EQ(lsmtp::utc_packed_date(1088811000), 20040702);
}

TEST(DatePacking, LocalToUtcRoundTripsThroughTheInstant)
{
    ScopedZone zone(two_hours_east);
    EXPECT_EQ(lsmtp::instant_from_local(20040703, 1300000), 1088811000);
    EXPECT_EQ(lsmtp::instant_from_local(21000301, 2000000), 4107542400);
    const PackedMoment utc = lsmtp::local_to_utc(21000301, 2000099);
    EXPECT_EQ(utc.date, 21000301);
    EXPECT_EQ(utc.time, 0);
}

TEST(DateClock, PackedNowReadsTheLocalClockWithHundredths)
{
    {
        ScopedZone zone(utc_zone);
        ScopedSeams seams(clock_at(saturday_last_second, 999));
        EXPECT_EQ(lsmtp::packed_time_now(), 23595999);
        EXPECT_EQ(lsmtp::packed_date_now(), 20040703);
    }
    {
        // Two hours east the same local moment is 21:59:59.999 UTC.
        ScopedZone zone(two_hours_east);
        ScopedSeams seams(clock_at(saturday_last_second - 7200, 999));
        EXPECT_EQ(lsmtp::packed_time_now(), 23595999);
        EXPECT_EQ(lsmtp::packed_date_now(), 20040703);
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
    EXPECT_EQ(lsmtp::date_header_now(), "Sat, 03 Jul 2004 23:59:59 GMT");
    EXPECT_EQ(readings, 1);
}

TEST(DateClock, DateHeaderNowAtTheInstantZeroIsAQuestionMark)
{
    ScopedSeams seams(clock_at(0, 0));
    EXPECT_EQ(lsmtp::date_header_now(), "?");
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
                wrong[i] += lsmtp::date_header_now() != moments[i].text;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (std::size_t i = 0; i < std::size(moments); ++i)
        EXPECT_EQ(wrong[i], 0) << moments[i].text;
}
