// Software timing's arithmetic on given clock readings: when to wake, which
// ticks go out, how the grid re-aligns after a miss and how the margin adapts.
#include <gtest/gtest.h>

#include <vector>

#include "sim/cmr_sim_timing.h"

namespace TolvarRT {
namespace {

constexpr bool kAlign = true;

// Waits as asked, wakes wokeLate seconds after that and spins to the tick
// when it is within the window.
bool Epoch(CEpochPacer& pacer, double& now, double wokeLate = 0.0)
{
    now += pacer.WaitMs() / 1000.0 + wokeLate;
    const double wokeAt = now;
    if (now < pacer.Next() && pacer.Next() < now + CEpochPacer::kSpinWindow)
        now = pacer.Next();
    return pacer.OnTick(wokeAt, now);
}

TEST(EpochPacerTest, WakesAMarginBeforeTheTickAndSpinsTheRest)
{
    CEpochPacer pacer;
    pacer.Restart(100.0, 1000, !kAlign, 0);
    EXPECT_DOUBLE_EQ(pacer.Next(), 101.0);
    EXPECT_EQ(pacer.WaitMs(), 965u) << "1000 ms less the first margin of 35";
    EXPECT_TRUE(pacer.OnTick(100.965, 101.0));
    EXPECT_DOUBLE_EQ(pacer.Next(), 102.0);
    EXPECT_EQ(pacer.MarginMs(), 30) << "35 ms was more than needed";
}

TEST(EpochPacerTest, MarginShrinksToTenAndGrowsBackToForty)
{
    CEpochPacer pacer;
    double now = 100.0;
    pacer.Restart(now, 1000, !kAlign, 0);
    std::vector<int> margins;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(Epoch(pacer, now, 0.001));
        margins.push_back(pacer.MarginMs());
    }
    // Each wake-up more than 10 ms early takes 5 ms off, never below 10;
    // one at 10 ms or less puts 5 back.
    EXPECT_EQ(margins, (std::vector<int>{30, 25, 20, 15, 10, 15}));

    margins.clear();
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(Epoch(pacer, now, 0.045));  // woken after the tick: sent late
        margins.push_back(pacer.MarginMs());
    }
    EXPECT_EQ(margins, (std::vector<int>{20, 25, 30, 35, 40, 40, 40, 40}));
}

TEST(EpochPacerTest, AlignedStartLeadsByTwoMillisecondsPerSecond)
{
    CEpochPacer pacer;
    pacer.Restart(100.0, 1000, kAlign, 0);
    EXPECT_EQ(pacer.WaitMs(), 963u) << "1000 - 35 ms of margin - 2 ms of lead";
    EXPECT_EQ(pacer.WaitMs(), 965u) << "the lead is used once";
}

TEST(EpochPacerTest, ToleranceIsTwentyFiveMillisecondsEitherWay)
{
    struct Case {
        double diff;
        bool send;
    };
    for (const Case& c :
         {Case{0.0, true}, Case{0.024, true}, Case{-0.024, true}, Case{0.026, false}, Case{-0.026, false}}) {
        CEpochPacer pacer;
        pacer.Restart(100.0, 1000, kAlign, 0);
        EXPECT_EQ(pacer.OnTick(100.96, 101.0 + c.diff), c.send) << c.diff;
    }
}

TEST(EpochPacerTest, MissWhenAligningSkipsAndRealignsToTheSecondPlusOffset)
{
    CEpochPacer pacer;
    pacer.Restart(100.3, 1000, kAlign, 0);
    pacer.WaitMs();
    EXPECT_FALSE(pacer.OnTick(101.33, 101.33));  // 30 ms late
    EXPECT_DOUBLE_EQ(pacer.Next(), 102.0);
    // A miss adds 10 ms to the first 35; at 45, past 40, a late wake-up
    // adds no more.
    EXPECT_EQ(pacer.MarginMs(), 45);
    // The lead puts the wake-up a margin before the new grid point: the
    // next tick is 670 ms away instead of 1000, a lead of 330 ms, and
    // 1000 - 45 - 330 = 625 ms wakes at 101.955, 45 ms before 102.0.
    EXPECT_EQ(pacer.LeadMs(), 330);
    EXPECT_EQ(pacer.WaitMs(), 625u);

    CEpochPacer offset;
    offset.Restart(100.3, 1000, kAlign, 250);
    EXPECT_FALSE(offset.OnTick(101.33, 101.33));
    EXPECT_DOUBLE_EQ(offset.Next(), 102.25) << "101.25 has passed";
    CEpochPacer ahead;
    ahead.Restart(100.3, 1000, kAlign, 400);
    EXPECT_FALSE(ahead.OnTick(101.33, 101.33));
    EXPECT_DOUBLE_EQ(ahead.Next(), 101.4);
}

TEST(EpochPacerTest, FiveHertzRealignmentWaitsLongerThanAnInterval)
{
    CEpochPacer pacer;
    pacer.Restart(100.3, 200, kAlign, 0);
    EXPECT_FALSE(pacer.OnTick(100.53, 100.53));
    EXPECT_DOUBLE_EQ(pacer.Next(), 101.0);
    EXPECT_EQ(pacer.LeadMs(), -270) << "470 ms to the next second, 270 more than an interval of 200";
    EXPECT_EQ(pacer.WaitMs(), 425u);  // 100.53 + 0.425 = 45 ms before 101.0
}

TEST(EpochPacerTest, MissWithoutAligningSendsLateAndRestartsTheGrid)
{
    CEpochPacer pacer;
    pacer.Restart(100.0, 1000, !kAlign, 0);
    EXPECT_TRUE(pacer.OnTick(101.04, 101.04));
    EXPECT_DOUBLE_EQ(pacer.Next(), 102.04) << "a whole interval after the late send";
    EXPECT_EQ(pacer.MarginMs(), 40) << "woken late: the margin grows";
}

// Regression test for a margin that grew past the spin window: every later
// wake-up came too early to spin to the tick, so every epoch was lost.
TEST(EpochPacerTest, RepeatedMissesLeaveTheWakeUpWithinTheSpinWindow)
{
    CEpochPacer pacer;
    double now = 100.0;
    pacer.Restart(now, 1000, kAlign, 0);
    for (int i = 0; i < 30; ++i)
        Epoch(pacer, now, 0.2);
    EXPECT_LE(pacer.MarginMs(), CEpochPacer::kMarginMaxMs);
    EXPECT_LT(CEpochPacer::kMarginMaxMs / 1000.0, CEpochPacer::kSpinWindow);
    // Once wake-ups are punctual again the epochs go out at once.
    EXPECT_FALSE(Epoch(pacer, now, 0.2));
    EXPECT_TRUE(Epoch(pacer, now));
    EXPECT_TRUE(Epoch(pacer, now));
}

TEST(EpochPacerTest, WaitIsNeverNegative)
{
    CEpochPacer pacer;
    pacer.Restart(100.0, 200, kAlign, 0);
    EXPECT_FALSE(pacer.OnTick(100.95, 100.95));  // realigned 50 ms ahead
    EXPECT_EQ(pacer.WaitMs(), 5u);
    CEpochPacer close;
    close.Restart(100.0, 1000, kAlign, 0);
    EXPECT_FALSE(close.OnTick(100.97, 100.97));  // 30 ms early, 30 ms before the next second
    EXPECT_EQ(close.WaitMs(), 0u);
}

}  // namespace
}  // namespace TolvarRT
