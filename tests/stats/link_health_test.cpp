// Outages and corruption as a collection judges them, driven with chosen
// time stamps: the thresholds, the durations, the events and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "chosen_time.h"
#include "log_recorder.h"
#include "stats/stats_collection.h"

namespace TolvarRT {
namespace {

using testing::LogRecorder;

using testing::At;

class JudgedEvents : public ILinkEventSink {
public:
    void OnLinkEvent(const sLinkEvent& event) override
    {
        if (event.kind != eLinkEventKind::Frame)
            events.push_back(event);
    }
    std::size_t Count(eLinkEventKind kind) const
    {
        return std::size_t(
            std::count_if(events.begin(), events.end(), [kind](const sLinkEvent& e) { return e.kind == kind; }));
    }
    std::vector<sLinkEvent> events;
};

class HealthTest : public ::testing::Test {
protected:
    HealthTest() { receiver.SetEventSink(&judged); }
    ~HealthTest() override { receiver.SetEventSink(nullptr); }

    // CMR type-0 frames once a second from..to, each second's health check
    // before its frame; the period (1 s) is known from the 16th frame on.
    void Frames(double from, double to)
    {
        for (double t = from; t <= to + 1e-9; t += 1.0) {
            receiver.CheckHealth(At(t));
            receiver.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(t), At(t));
        }
    }
    void Checks(double from, double to)
    {
        for (double t = from; t <= to + 1e-9; t += 1.0)
            receiver.CheckHealth(At(t));
    }
    std::size_t LogLines(const std::string& start) const
    {
        const auto lines = log.Lines();
        return std::size_t(std::count_if(lines.begin(), lines.end(),
                                         [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
    }

    CLogPipe logPipe;
    LogRecorder log{&logPipe, kLogNone};  // only what is logged whatever the level
    CStatsCollection receiver{&logPipe, false};
    JudgedEvents judged;
};

TEST_F(HealthTest, ATenSecondGapInAOneHertzStreamIsOneOutageOfTenSecondsOfTheTypeAndTheLink)
{
    // A type seen once has no period: its silence is no outage.
    receiver.RecordFrame(kFrameClassNMEA, 3, 60, 1, At(0.5));
    Frames(0, 20);
    Checks(21, 29);
    ASSERT_EQ(judged.Count(eLinkEventKind::BeginOutage), 2u) << "the type and the whole link";
    const sLinkEvent& begin = judged.events.front();
    EXPECT_EQ(begin.time, At(25)) << "3 periods, but at least 5 s";
    EXPECT_DOUBLE_EQ(begin.durationS, 5.0);
    EXPECT_FALSE(begin.source);
    EXPECT_EQ(LogLines("Begin_Outage CMR Type 0 at "), 1u);
    EXPECT_EQ(LogLines("Begin_Outage Listener at "), 1u);

    Frames(30, 31);
    EXPECT_EQ(judged.Count(eLinkEventKind::EndOutage), 0u) << "one second of frames is short of 2 periods";
    Frames(32, 35);
    ASSERT_EQ(judged.Count(eLinkEventKind::EndOutage), 2u);
    for (const sLinkEvent& event : judged.events)
        if (event.kind == eLinkEventKind::EndOutage) {
            EXPECT_EQ(event.time, At(32));
            EXPECT_DOUBLE_EQ(event.durationS, 10.0) << "from the last frame before to the first after";
        }
    EXPECT_EQ(LogLines("End_Outage CMR Type 0 at "), 1u);

    const std::vector<sOutage> outages = receiver.Outages(At(36));
    ASSERT_EQ(outages.size(), 2u);
    for (const sOutage& outage : outages) {
        EXPECT_EQ(outage.start, At(20));
        ASSERT_TRUE(outage.end.has_value());
        EXPECT_EQ(*outage.end, At(30));
        EXPECT_DOUBLE_EQ(outage.durationS, 10.0);
    }
    EXPECT_EQ(outages[0].key, FrameKey(kFrameClassCMR, 0));
    EXPECT_TRUE(outages[1].wholeLink);
    const sHealthCounts counts = receiver.HealthCounts(At(36));
    EXPECT_EQ(counts.typeOutages, 1u);
    EXPECT_EQ(counts.linkOutages, 1u);
    EXPECT_DOUBLE_EQ(counts.outageSeconds, 10.0);
    const std::string summary = receiver.Summary(false, At(36));
    EXPECT_NE(summary.find("Outages: 1 of frame types, 1 of the whole link (10.0 s)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Outages 1"), std::string::npos) << "on the type's line";

    receiver.Reset();
    EXPECT_TRUE(receiver.Outages().empty());
}

TEST_F(HealthTest, AGapUnderTheThresholdOrBeforeTheLinksPaceIsKnownIsNoOutage)
{
    Frames(0, 1);
    Checks(2, 12);  // 11 s of silence after two frames: too few to tell the pace
    Frames(13, 30);
    Checks(31, 34);  // 4.9 s after the last frame
    receiver.CheckHealth(At(34.9));
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 0, At(34.95));
    Frames(35, 40);
    EXPECT_TRUE(judged.events.empty());
    EXPECT_EQ(receiver.HealthCounts(At(40)).typeOutages, 0u);
    EXPECT_EQ(LogLines("Begin_Outage"), 0u);
}

// A 1 Hz link blacked out 5 s into the run, long before the collection knows
// a period: the whole link's outage is judged on the first intervals; the
// type's waits for its known period.
TEST_F(HealthTest, ABlackoutFiveSecondsInIsAnOutageOfTheWholeLink)
{
    Frames(0, 5);
    Checks(6, 15);
    ASSERT_EQ(judged.Count(eLinkEventKind::BeginOutage), 1u);
    EXPECT_TRUE(judged.events.front().wholeLink);
    EXPECT_EQ(judged.events.front().time, At(10)) << "5 s after the last frame";
    Frames(16, 20);
    ASSERT_EQ(judged.Count(eLinkEventKind::EndOutage), 1u);
    EXPECT_EQ(judged.events.back().time, At(18)) << "after 2 provisional periods of frames";
    const std::vector<sOutage> outages = receiver.Outages(At(20));
    ASSERT_EQ(outages.size(), 1u);
    EXPECT_EQ(outages[0].start, At(5));
    EXPECT_EQ(*outages[0].end, At(16));
    EXPECT_DOUBLE_EQ(outages[0].durationS, 11.0);
    EXPECT_EQ(receiver.HealthCounts(At(20)).typeOutages, 0u);
}

TEST_F(HealthTest, TheFastestProvisionalPeriodJudgesTheLinkAndBurstsDoNotCount)
{
    // Type 0 every 2 s, type 4 four times a second, each of its frames
    // followed 10 ms later by another (a burst).
    for (double t = 0; t < 3.0; t += 0.25) {
        if (std::fmod(t, 2.0) == 0.0)
            receiver.RecordFrame(kFrameClassCMR, 0, 100, 1, At(t));
        receiver.RecordFrame(kFrameClassCMR, 4, 20, 2, At(t));
        receiver.RecordFrame(kFrameClassCMR, 4, 20, 3, At(t + 0.01));
    }
    // The last frame came at 2.76 s; 5 s is the least threshold, and the
    // link recovers after 2 periods of 0.25 s.
    receiver.CheckHealth(At(7.7));
    EXPECT_EQ(judged.Count(eLinkEventKind::BeginOutage), 0u);
    receiver.CheckHealth(At(7.8));
    ASSERT_EQ(judged.Count(eLinkEventKind::BeginOutage), 1u);
    for (double t = 10.0; t <= 10.5 + 1e-9; t += 0.25)
        receiver.RecordFrame(kFrameClassCMR, 4, 20, 4, At(t));
    ASSERT_EQ(judged.Count(eLinkEventKind::EndOutage), 1u);
    EXPECT_EQ(judged.events.back().time, At(10.5));
}

TEST(ProvisionalPeriodTest, TheMedianIntervalIsRoundedAsTheCollectionRoundsItsEstimate)
{
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({1.02, 0.98, 1.0}), 1.0);
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({1.0, 9.0, 1.0}), 1.0) << "one long gap does not count";
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({0.26, 0.24, 0.25}), 0.25);
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({0.7, 0.7, 0.7}), 1.0) << "a whole rate per second";
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({5.0, 5.1, 4.9}), 5.0);
    EXPECT_DOUBLE_EQ(ProvisionalPeriod({}), 0.0);
}

TEST_F(HealthTest, FramesThatStopAgainBeforeTheRecoveryThresholdDoNotEndTheOutage)
{
    Frames(0, 20);
    Checks(21, 29);
    Frames(30, 30);  // one frame, then silence again
    Checks(31, 39);
    Frames(40, 41);
    EXPECT_EQ(judged.Count(eLinkEventKind::EndOutage), 0u);
    Frames(42, 42);
    EXPECT_EQ(judged.Count(eLinkEventKind::BeginOutage), 2u) << "still the same outages";
    const std::vector<sOutage> outages = receiver.Outages(At(43));
    ASSERT_EQ(outages.size(), 2u);
    EXPECT_EQ(*outages[0].end, At(40));
    EXPECT_DOUBLE_EQ(outages[0].durationS, 20.0);
}

TEST_F(HealthTest, AnOutageStillGoingAtTheEndRunsToTheReadingAndAFrameAfterAnUncheckedGapJudgesIt)
{
    Frames(0, 20);
    Checks(21, 30);
    const std::vector<sOutage> open = receiver.Outages(At(40));
    ASSERT_EQ(open.size(), 2u);
    EXPECT_FALSE(open[0].end.has_value());
    EXPECT_DOUBLE_EQ(open[0].durationS, 20.0);
    EXPECT_DOUBLE_EQ(receiver.HealthCounts(At(40)).outageSeconds, 20.0);

    // Nobody checked during this gap: the first frame after it tells.
    CStatsCollection unchecked(&logPipe, false);
    for (int t = 0; t <= 20; ++t)
        unchecked.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(t), At(t));
    for (int t = 28; t <= 30; ++t)
        unchecked.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(t), At(t));
    const std::vector<sOutage> late = unchecked.Outages(At(31));
    ASSERT_EQ(late.size(), 2u);
    EXPECT_DOUBLE_EQ(late[0].durationS, 8.0);
}

TEST_F(HealthTest, CorruptionBeginsWithRejectedBytesAndEndsAfterTheRecoveryWithGoodFrames)
{
    Frames(0, 20);
    receiver.RecordRejected(30, At(20.5));
    ASSERT_EQ(judged.Count(eLinkEventKind::BeginCorrupted), 1u);
    EXPECT_EQ(judged.events.back().time, At(20.5));
    EXPECT_EQ(judged.events.back().lostBytes, 30u);
    EXPECT_EQ(LogLines("Begin_Corrupted Listener at "), 1u);
    Frames(21, 21);
    receiver.RecordRejected(10, At(21.5));
    EXPECT_EQ(judged.Count(eLinkEventKind::BeginCorrupted), 1u) << "the same spell";
    Frames(22, 23);
    EXPECT_EQ(judged.Count(eLinkEventKind::EndCorrupted), 0u) << "1.5 s clean is short of 2 s";
    receiver.CheckHealth(At(23.5));
    ASSERT_EQ(judged.Count(eLinkEventKind::EndCorrupted), 1u);
    EXPECT_DOUBLE_EQ(judged.events.back().durationS, 1.5) << "to the first good frame after the last rejection";
    EXPECT_EQ(judged.events.back().lostBytes, 40u);

    // Rejected bytes with no good frame after them keep the spell going.
    receiver.RecordRejected(5, At(30.2));
    Checks(31, 40);
    EXPECT_EQ(judged.Count(eLinkEventKind::EndCorrupted), 1u);
    const sHealthCounts counts = receiver.HealthCounts(At(40.2));
    EXPECT_EQ(counts.corruptedSpells, 2u);
    EXPECT_EQ(counts.rejectedBytes, 45u);
    EXPECT_DOUBLE_EQ(counts.corruptedSeconds, 1.5 + 10.0);
    EXPECT_NE(receiver.Summary(false, At(40.2)).find("Corrupted 2 times (11.5 s), 45 bytes rejected"),
              std::string::npos);
}

}  // namespace
}  // namespace TolvarRT
