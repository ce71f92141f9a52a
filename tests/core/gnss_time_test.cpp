// GNSS time scales against UTC, the ages of epochs whose fields wrap, and the
// leap seconds read from a leap-seconds.list file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "case_name.h"
#include "core/gnss_time.h"
#include "temp_folder.h"

namespace TolvarRT {
namespace {

// 2019-04-07 00:00:00 UTC, the Sunday GPS week 2048 began, 18 s earlier in UTC.
constexpr double kSunday2019 = 1554595200.0;
constexpr double kGpsWeek2048 = kSunday2019 - 18.0;
constexpr double k2026 = 1767225600.0;  // 2026-01-01 00:00:00 UTC
constexpr const char* kSystemList = "/usr/share/zoneinfo/leap-seconds.list";

TEST(GnssTimeTest, EachScaleStartsItsWeekOrDayAtItsOwnMidnight)
{
    EXPECT_DOUBLE_EQ(GpsWeekMsAt(kGpsWeek2048, 18), 0.0);
    EXPECT_DOUBLE_EQ(GpsWeekMsAt(kGpsWeek2048 + 1.25, 18), 1250.0);
    EXPECT_DOUBLE_EQ(GpsWeekMsAt(kGpsWeek2048 - 1.0, 18), double(kWeekMs) - 1000.0);
    // BeiDou runs 14 s behind GPS: its week starts 14 s later.
    EXPECT_DOUBLE_EQ(BeiDouWeekMsAt(kGpsWeek2048, 18), double(kWeekMs) - 14000.0);
    EXPECT_DOUBLE_EQ(BeiDouWeekMsAt(kGpsWeek2048 + 14.0, 18), 0.0);
    // One more leap second puts GPS one more second ahead of the same UTC.
    EXPECT_DOUBLE_EQ(GpsWeekMsAt(kGpsWeek2048, 19), 1000.0);
    // Moscow's Sunday begins at 21:00 UTC on Saturday, and so does its day.
    EXPECT_DOUBLE_EQ(GlonassWeekMsAt(kSunday2019 - 3 * 3600.0), 0.0);
    EXPECT_DOUBLE_EQ(GlonassWeekMsAt(kSunday2019), 3 * 3600000.0);
    EXPECT_DOUBLE_EQ(GlonassDayMsAt(kSunday2019 - 3 * 3600.0), 0.0);
    EXPECT_DOUBLE_EQ(GlonassDayMsAt(kSunday2019 - 3 * 3600.0 - 0.5), double(kDayMs) - 500.0);
    EXPECT_DOUBLE_EQ(GlonassDayMsAt(kSunday2019 + 12 * 3600.0), 15 * 3600000.0);
    // Times before 1980 still land inside the week.
    const double early = GpsWeekMsAt(0.0, 18);
    EXPECT_GE(early, 0.0);
    EXPECT_LT(early, double(kWeekMs));
}

struct sAgeCase {
    const char* what;
    double hostMs;
    double fieldMs;
    std::int64_t periodMs;
    double ageS;
};

class AgeInPeriodTest : public ::testing::TestWithParam<sAgeCase> {};

TEST_P(AgeInPeriodTest, WrapsToTheNearestPeriod)
{
    const sAgeCase& c = GetParam();
    EXPECT_DOUBLE_EQ(AgeInPeriod(c.hostMs, c.fieldMs, c.periodMs), c.ageS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgeInPeriodTest,
    ::testing::Values(sAgeCase{"same week", 100000.0, 99250.0, kWeekMs, 0.75},
                      // An epoch just before the week's end, seen just after it.
                      sAgeCase{"week rolled over", 500.0, double(kWeekMs) - 500.0, kWeekMs, 1.0},
                      sAgeCase{"epoch ahead across the week end", double(kWeekMs) - 500.0, 500.0, kWeekMs, -1.0},
                      sAgeCase{"epoch slightly ahead", 1000.0, 1200.0, kWeekMs, -0.2},
                      sAgeCase{"day rolled over", 200.0, double(kDayMs) - 1800.0, kDayMs, 2.0},
                      sAgeCase{"hour rolled over", 100.0, double(kHourMs) - 900.0, kHourMs, 1.0},
                      sAgeCase{"four minutes rolled over", 0.0, double(kFourMinutesMs) - 3000.0, kFourMinutesMs, 3.0},
                      // Exactly half a period either way counts as old, never as ahead.
                      sAgeCase{"half a period old", double(kHourMs) / 2, 0.0, kHourMs, 1800.0},
                      sAgeCase{"half a period ahead", 0.0, double(kHourMs) / 2, kHourMs, 1800.0},
                      sAgeCase{"a field beyond its period", 1000.0, double(kWeekMs) + 500.0, kWeekMs, 0.5}),
    testing::CaseName<sAgeCase>);

TEST(GnssTimeTest, TheHostsTimeInEachScaleGivesSmallAgesAcrossRollOvers)
{
    // GPS: the epoch 0.3 s before week 2048 began, arriving 0.2 s after it.
    EXPECT_NEAR(AgeInPeriod(GpsWeekMsAt(kGpsWeek2048 + 0.2, 18), double(kWeekMs) - 300.0, kWeekMs), 0.5, 1e-6);
    // BeiDou: its week ends 14 s after GPS's.
    EXPECT_NEAR(AgeInPeriod(BeiDouWeekMsAt(kGpsWeek2048 + 14.2, 18), double(kWeekMs) - 300.0, kWeekMs), 0.5, 1e-6);
    // GLONASS: 20:59:59.5 UTC is 23:59:59.5 in Moscow; seen at 21:00:00.25.
    EXPECT_NEAR(AgeInPeriod(GlonassDayMsAt(kSunday2019 - 3 * 3600.0 + 0.25), double(kDayMs) - 500.0, kDayMs), 0.75,
                1e-6);
}

// A current list: the last two leap seconds and an expiry of 2026-06-28.
constexpr const char* kCurrentList =
    "# leap seconds list\n"
    "#$\t3960835200\n"
    "#@\t3991593600\n"
    "#\n"
    "2272060800\t10\t# 1 Jan 1972\n"
    "3644697600\t36\t# 1 Jul 2015\n"
    "3692217600\t37\t# 1 Jan 2017\n"
    "#h\t49db2447 571e5e1b 2f002a53 9c8da8e4 39b8e49e\n";

struct sListCase {
    const char* what;
    const char* contents;
    double unixNow;
    int gpsMinusUtc;
    bool fromFile;
    bool expired;
    const char* problem;  // a part of the problem text; "" for none at all
};

class LeapSecondsListTest : public ::testing::TestWithParam<sListCase> {};

TEST_P(LeapSecondsListTest, ReadsTheEntryInForce)
{
    const sListCase& c = GetParam();
    testing::TempFolder folder;
    const std::string path = folder.File("leap-seconds.list");
    std::ofstream(path, std::ios::binary) << c.contents;
    const sLeapSeconds read = ReadLeapSeconds(path, c.unixNow);
    EXPECT_EQ(read.gpsMinusUtc, c.gpsMinusUtc);
    EXPECT_EQ(read.fromFile, c.fromFile);
    EXPECT_EQ(read.expired, c.expired);
    EXPECT_EQ(read.path, path);
    if (*c.problem == '\0')
        EXPECT_EQ(read.problem, "");
    else {
        EXPECT_NE(read.problem.find(c.problem), std::string::npos) << read.problem;
        EXPECT_NE(read.problem.find(path), std::string::npos) << read.problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeapSecondsListTest,
    ::testing::Values(
        sListCase{"current", kCurrentList, k2026, 18, true, false, ""},
        sListCase{"before the last leap second", kCurrentList, 1464739200.0, 17, true, false, ""},
        sListCase{"the instant of a leap second", kCurrentList, 3692217600.0 - 2208988800.0, 18, true, false, ""},
        sListCase{"expired", kCurrentList, 1796083200.0, 18, false, true, "expired on 2026-06-28"},
        // An old list knows less than the program: the built-in value wins.
        sListCase{"expired and older than the program", "#@ 3565987200\n2272060800 10\n3550089600 35 # 1 Jul 2012\n",
                  k2026, 18, false, true, "expired on 2013-01-01"},
        // A list that knows a later leap second keeps it even once expired.
        sListCase{"expired but later than the program", "#@ 4023129600\n3692217600 37\n4007750400 38 # 1 Jan 2027\n",
                  1830297600.0, 19, true, true, "expired on 2027-06-28"},
        sListCase{"lines out of order", "#@ 3991593600\n3692217600 37\n2272060800 10\n3644697600 36\n", k2026, 18, true,
                  false, ""},
        sListCase{"windows line ends", "#@\t3991593600\r\n3644697600\t36\r\n3692217600\t37\t# 1 Jan 2017\r\n", k2026,
                  18, true, false, ""},
        sListCase{"garbage lines",
                  "#@ 3991593600\n3644697600 36\nnot a leap second\n3692217600 37\n3700000000 x\n#@ soon\n", k2026, 18,
                  true, false, "unreadable lines 3, 5, 6"},
        sListCase{"one garbage line", "#@ 3991593600\n3692217600 37 38\n3644697600 36\n", k2026, 17, true, false,
                  "unreadable line 2"},
        sListCase{"no expiry date", "3692217600 37\n", k2026, 18, true, false, "gives no expiry date"},
        sListCase{"comments only", "# nothing\n#\n\n", k2026, 18, false, false, "has no entries"},
        sListCase{"empty", "", k2026, 18, false, false, "has no entries"},
        sListCase{"nothing in force yet", "#@ 3991593600\n3692217600 37\n", 0.0, 18, false, false,
                  "no entry in force"}),
    testing::CaseName<sListCase>);

TEST(LeapSecondsTest, AMissingListGivesTheBuiltInValue)
{
    testing::TempFolder folder;
    const std::string path = folder.File("absent.list");
    const sLeapSeconds read = ReadLeapSeconds(path, k2026);
    EXPECT_EQ(read.gpsMinusUtc, 18);
    EXPECT_FALSE(read.fromFile);
    EXPECT_FALSE(read.expired);
    EXPECT_EQ(read.problem, "no leap-seconds.list at " + path);
}

TEST(LeapSecondsTest, TheSystemsListSaysEighteenSecondsIn2026)
{
    if (!std::filesystem::exists(kSystemList))
        GTEST_SKIP() << "no " << kSystemList << " (package tzdata)";
    const sLeapSeconds read = ReadLeapSeconds(kSystemList, 1772323200.0);  // 2026-03-01
    EXPECT_EQ(read.gpsMinusUtc, 18);
    EXPECT_TRUE(read.fromFile);
    EXPECT_FALSE(read.expired) << read.problem;
    EXPECT_EQ(read.problem, "");

    // The process reads it once, whatever the date says of its expiry now.
    const sLeapSeconds& system = SystemLeapSeconds();
    EXPECT_EQ(&system, &SystemLeapSeconds());
    EXPECT_EQ(system.path, kSystemList);
    EXPECT_EQ(system.gpsMinusUtc, 18);
}

}  // namespace
}  // namespace TolvarRT
