// Counting, period estimation, gap judgement and correlation with the source,
// driven with chosen time stamps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "case_name.h"
#include "chosen_time.h"
#include "core/time_base.h"
#include "log_recorder.h"
#include "stats/link_figures.h"
#include "stats/stats_collection.h"

namespace TolvarRT {
namespace {

using testing::LogRecorder;

using testing::At;

PacketStats RecordOf(CStatsCollection& collection, unsigned frameClass, unsigned type)
{
    PacketStats record;
    EXPECT_TRUE(collection.FindRecord(FrameKey(frameClass, type), record));
    return record;
}

class LinkTest : public ::testing::Test {
protected:
    LinkTest() { receiver.SetSource(&source); }

    // One CMR type-0 frame with the given byte sum, on one side.
    static void Frame(CStatsCollection& side, double seconds, std::uint16_t sum, unsigned length = 100)
    {
        side.RecordFrame(kFrameClassCMR, 0, length, sum, At(seconds));
    }

    CLogPipe logPipe;
    LogRecorder lines{&logPipe};
    CStatsCollection source{&logPipe, true};
    CStatsCollection receiver{&logPipe, false};
};

TEST_F(LinkTest, MatchesTheSourcesPreviousAndLastFrame)
{
    Frame(source, 0.0, 11);
    Frame(source, 1.0, 22);
    Frame(receiver, 1.05, 11);  // the previous source frame
    Frame(receiver, 1.10, 22);  // the last one
    const PacketStats record = RecordOf(receiver, kFrameClassCMR, 0);
    EXPECT_EQ(record.matched, 2u);
    EXPECT_EQ(record.unmatched, 0u);
    EXPECT_EQ(record.latencySamples, 2u);
    EXPECT_NEAR(record.latency, 0.10, 1e-9);
    EXPECT_NEAR(record.latencySum, 1.05 + 0.10, 1e-9);
    EXPECT_EQ(lines.Count("\tPacket Latency 0.1000"), 1u);
}

TEST_F(LinkTest, TheSameSourceFrameIsMatchedOnce)
{
    Frame(source, 0.0, 11);
    Frame(receiver, 0.2, 11);
    Frame(receiver, 0.4, 11);
    const PacketStats record = RecordOf(receiver, kFrameClassCMR, 0);
    EXPECT_EQ(record.matched, 1u);
    EXPECT_EQ(record.unmatched, 1u);
    EXPECT_EQ(record.latency, -1.0);
    EXPECT_EQ(lines.Count("\tNo Packet Correlation for Class 1 Type 0"), 1u);
}

TEST_F(LinkTest, AnyUnmatchedSourceFrameInsideTheMatchWindowMatches)
{
    Frame(source, 0.0, 11);
    Frame(source, 1.0, 22);
    Frame(source, 2.0, 33);
    Frame(receiver, 2.1, 11);   // two newer frames were sent since
    Frame(receiver, 30.9, 22);  // 29.9 s after it was sent: still inside
    Frame(receiver, 32.5, 33);  // 30.5 s: too old
    const PacketStats record = RecordOf(receiver, kFrameClassCMR, 0);
    EXPECT_EQ(record.matched, 2u);
    EXPECT_EQ(record.unmatched, 1u);
    EXPECT_NEAR(record.transitMax, 29.9, 1e-9);
}

TEST_F(LinkTest, TwoReceiversMatchTheSameSourceFrameEachOnce)
{
    CStatsCollection second{&logPipe, false};
    second.SetSource(&source);
    Frame(source, 0.0, 11);
    Frame(receiver, 0.1, 11);
    Frame(second, 0.2, 11);
    EXPECT_NE(receiver.ReceiverBit(), second.ReceiverBit());
    EXPECT_EQ(RecordOf(receiver, kFrameClassCMR, 0).matched, 1u);
    EXPECT_EQ(RecordOf(second, kFrameClassCMR, 0).matched, 1u);
}

TEST_F(LinkTest, EmptyFramesAndOtherKeysNeverMatch)
{
    source.RecordFrame(kFrameClassRTCM3, 1005, 0, 0, At(0.0));
    receiver.RecordFrame(kFrameClassRTCM3, 1005, 0, 0, At(0.1));
    receiver.RecordFrame(kFrameClassRTCM3, 1006, 19, 7, At(0.2));
    EXPECT_EQ(RecordOf(receiver, kFrameClassRTCM3, 1005).matched, 0u);
    EXPECT_EQ(RecordOf(receiver, kFrameClassRTCM3, 1006).unmatched, 1u);
}

TEST_F(LinkTest, BurstFramesAreMatchedButGiveNoLatency)
{
    Frame(source, 0.0, 11);
    Frame(source, 0.01, 22);
    Frame(receiver, 0.30, 11);
    Frame(receiver, 0.31, 22);  // 10 ms after the one before: a burst
    const PacketStats record = RecordOf(receiver, kFrameClassCMR, 0);
    EXPECT_EQ(record.bursts, 1u);
    EXPECT_EQ(record.matched, 2u);
    EXPECT_EQ(record.latencySamples, 1u);
    EXPECT_NEAR(record.latency, 0.30, 1e-9) << "a burst keeps the previous latency";
    EXPECT_EQ(record.sumSquares, 0.0);
}

TEST_F(LinkTest, ASourceResetMakesTheReceiverStartCountingAgain)
{
    Frame(source, 0.0, 11);
    Frame(receiver, 0.1, 11);
    Frame(source, 1.0, 22);
    Frame(receiver, 1.1, 22);
    EXPECT_EQ(RecordOf(receiver, kFrameClassCMR, 0).matched, 2u);

    source.Reset();
    Frame(source, 5.0, 33);
    Frame(source, 6.0, 44);
    Frame(receiver, 6.1, 44);
    const PacketStats record = RecordOf(receiver, kFrameClassCMR, 0);
    EXPECT_EQ(record.matched, 1u);
    EXPECT_EQ(record.latencySamples, 1u);
    EXPECT_EQ(record.syncGeneration, source.Generation());
    // "% Received" counts from the moment of synchronisation: 2 source
    // frames, of which the receiver may have missed the first.
    EXPECT_EQ(record.sourceOffset, 1u);
    EXPECT_EQ(record.frames, 3u) << "the receiver's own counts carry on";
}

// What the link did to CMR type 0, as the receiver sees it now.
sLinkFigures Measured(const CStatsCollection& receiver, bool linkOver, double now = 0.0)
{
    const std::vector<sLinkFigures> types = MeasureLink(receiver.Snapshot(At(now)), linkOver);
    EXPECT_EQ(types.size(), 1u);
    return types.empty() ? sLinkFigures{} : types.front();
}

TEST_F(LinkTest, ASourceFrameIsMissedOnlyOnceItCanNoLongerArrive)
{
    struct Step {
        const char* what;
        std::uint64_t matched, missed, inFlight, unmatched;
    };
    const auto expect = [&](const Step& step, bool linkOver, double now) {
        const sLinkFigures figures = Measured(receiver, linkOver, now);
        EXPECT_EQ(figures.matched, step.matched) << step.what;
        EXPECT_EQ(figures.missed, step.missed) << step.what;
        EXPECT_EQ(figures.inFlight, step.inFlight) << step.what;
        EXPECT_EQ(figures.unmatched, step.unmatched) << step.what;
        EXPECT_EQ(figures.sent, figures.matched + figures.missed + figures.inFlight) << step.what;
    };
    Frame(source, 0.0, 11);
    Frame(source, 1.0, 22);
    expect({"two sent, both on the air", 0, 0, 2, 0}, false, 1.0);
    Frame(receiver, 1.1, 22);
    expect({"the second arrived first", 1, 0, 1, 0}, false, 1.1);
    Frame(source, 2.0, 33);
    expect({"the first may still come: the link may be slow", 1, 0, 2, 0}, false, 2.0);
    expect({"the first is older than the match window", 1, 1, 1, 0}, false, 30.5);
    Frame(receiver, 30.6, 99);
    expect({"a corrupted frame", 1, 1, 1, 1}, false, 30.6);
    expect({"the link is over: the third will not come", 1, 2, 0, 1}, true, 30.6);
    EXPECT_EQ(Measured(receiver, true).received, 2u);
}

TEST_F(LinkTest, FramesSlowerThanTheSourcesPeriodAreLateAndEveryTransitIsTimed)
{
    // 18 source frames 1 s apart: the period (1 s) is known from the 16th.
    // Frames 0..15 took 0.1 s; frame 16 came after frame 17 was sent.
    for (int i = 0; i < 18; ++i) {
        Frame(source, i, std::uint16_t(i));
        if (i < 16)
            Frame(receiver, i + 0.1, std::uint16_t(i));
    }
    Frame(receiver, 17.5, 16);
    const sLinkFigures figures = Measured(receiver, false, 17.5);
    EXPECT_EQ(figures.matched, 17u);
    EXPECT_EQ(figures.late, 1u);
    EXPECT_EQ(figures.inFlight, 1u) << "frame 17 may still come";
    EXPECT_NEAR(figures.latencyMinS, 0.1, 1e-6);
    EXPECT_NEAR(figures.latencyMaxS, 1.5, 1e-6);
    EXPECT_NEAR(figures.LatencyMeanS(), (16 * 0.1 + 1.5) / 17, 1e-6);
    EXPECT_EQ(figures.gapRuleLost + figures.gapRuleLate, 0u) << "no gap at the receiver";
}

struct EventList : ILinkEventSink {
    void OnLinkEvent(const sLinkEvent& event) override { events.push_back(event); }
    std::vector<sLinkEvent> events;
};

TEST_F(LinkTest, EveryCountedFrameGoesToTheEventSinkWithItsTransitEvenInABurst)
{
    EventList sourceEvents, receiverEvents;
    source.SetEventSink(&sourceEvents);
    receiver.SetEventSink(&receiverEvents);
    Frame(source, 0.0, 11);
    Frame(source, 0.01, 22);
    Frame(receiver, 0.30, 11);
    Frame(receiver, 0.31, 22);  // a burst: no latency on the table, but a transit all the same
    Frame(receiver, 0.32, 33);  // sent by nobody
    ASSERT_EQ(sourceEvents.events.size(), 2u);
    EXPECT_TRUE(sourceEvents.events[0].source);
    EXPECT_FALSE(sourceEvents.events[0].matched);
    ASSERT_EQ(receiverEvents.events.size(), 3u);
    const sLinkEvent& first = receiverEvents.events[0];
    EXPECT_EQ(first.kind, eLinkEventKind::Frame);
    EXPECT_FALSE(first.source);
    EXPECT_EQ(first.key, FrameKey(kFrameClassCMR, 0));
    EXPECT_EQ(first.time, At(0.30));
    EXPECT_EQ(first.length, 100u);
    EXPECT_TRUE(first.matched);
    EXPECT_NEAR(first.latencyS, 0.30, 1e-9);
    EXPECT_TRUE(receiverEvents.events[1].matched);
    EXPECT_NEAR(receiverEvents.events[1].latencyS, 0.30, 1e-9);
    EXPECT_FALSE(receiverEvents.events[2].matched);
    receiver.SetEventSink(nullptr);
    Frame(receiver, 1.0, 44);
    EXPECT_EQ(receiverEvents.events.size(), 3u);
}

TEST_F(LinkTest, SourceCollectionsDoNotCorrelate)
{
    Frame(source, 0.0, 11);
    Frame(source, 0.5, 11);
    EXPECT_EQ(RecordOf(source, kFrameClassCMR, 0).latency, -1.0);
    EXPECT_TRUE(lines.Lines().empty());
}

TEST(StatsCollectionTest, WithoutAnySourceNothingIsSaidAboutCorrelation)
{
    CLogPipe logPipe;
    LogRecorder lines(&logPipe);
    CStatsCollection receiver(&logPipe, false);
    ASSERT_EQ(receiver.GetEffectiveSource(), nullptr);
    receiver.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0));
    receiver.RecordFrame(kFrameClassCMR, 0, 10, 5, At(1));
    EXPECT_EQ(RecordOf(receiver, kFrameClassCMR, 0).latency, -1.0);
    EXPECT_TRUE(lines.Lines().empty());
}

TEST(StatsCollectionTest, TheFirstSourceIsTheProcessWideOneUntilItGoes)
{
    CLogPipe logPipe;
    CStatsCollection receiver(&logPipe, false);
    {
        CStatsCollection first(&logPipe, true);
        CStatsCollection second(&logPipe, true);
        EXPECT_EQ(receiver.GetEffectiveSource(), &first);
        receiver.SetSource(&second);
        EXPECT_EQ(receiver.GetEffectiveSource(), &second);
        receiver.SetSource(nullptr);
    }
    EXPECT_EQ(receiver.GetEffectiveSource(), nullptr);
}

// Several tests in one process: a receiver without a Source of its own must
// not match against the process-wide one, another test's; and sources take
// none of the receivers' bits.
TEST(StatsCollectionTest, AReceiverToldToUseItsLinkedSourceOnlyIgnoresTheProcessWideOne)
{
    CLogPipe logPipe;
    CStatsCollection otherTestsSource(&logPipe, true);
    EXPECT_EQ(otherTestsSource.ReceiverBit(), 0u);
    CStatsCollection receiver(&logPipe, false);
    receiver.UseLinkedSourceOnly();
    EXPECT_EQ(receiver.GetEffectiveSource(), nullptr);
    otherTestsSource.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0));
    receiver.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0.1));
    EXPECT_EQ(RecordOf(receiver, kFrameClassCMR, 0).matched, 0u);
    EXPECT_FALSE(receiver.Snapshot(At(0.2)).hasSource);
    CStatsCollection ownSource(&logPipe, true);
    receiver.SetSource(&ownSource);
    EXPECT_EQ(receiver.GetEffectiveSource(), &ownSource);
}

TEST(StatsCollectionTest, BeyondThirtyTwoCollectionsFramesAreCountedButNeverMatched)
{
    CLogPipe logPipe;
    LogRecorder lines(&logPipe);
    CStatsCollection source(&logPipe, true);
    std::vector<std::unique_ptr<CStatsCollection>> receivers;
    while (receivers.size() < 40)
        receivers.push_back(std::make_unique<CStatsCollection>(&logPipe, false));
    CStatsCollection& lastOne = *receivers.back();
    ASSERT_EQ(lastOne.ReceiverBit(), 0u);
    lastOne.SetSource(&source);
    source.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0));
    lastOne.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0.1));
    lastOne.RecordFrame(kFrameClassCMR, 0, 10, 5, At(0.2));
    const PacketStats record = RecordOf(lastOne, kFrameClassCMR, 0);
    EXPECT_EQ(record.frames, 2u);
    EXPECT_EQ(record.matched, 0u);
    EXPECT_EQ(record.unmatched, 0u);
    EXPECT_EQ(lines.Lines().size(), 1u) << "said once, at level 0";
    // Bits come back when collections go.
    receivers.clear();
    CStatsCollection fresh(&logPipe, false);
    EXPECT_NE(fresh.ReceiverBit(), 0u);
}

// One source collection, fed frames of one type at chosen intervals.
class OneTypeTest : public ::testing::Test {
protected:
    // Frames at the given intervals (seconds) after the last one, the first at t = 0.
    void FeedIntervals(const std::vector<double>& intervals)
    {
        if (t < 0.0)
            side.RecordFrame(kFrameClassRTCM3, 1004, 50, 1, At(t = 0.0));
        for (double interval : intervals)
            side.RecordFrame(kFrameClassRTCM3, 1004, 50, 1, At(t += interval));
    }
    PacketStats Record() { return RecordOf(side, kFrameClassRTCM3, 1004); }

    double t = -1.0;
    CLogPipe logPipe;
    LogRecorder lines{&logPipe};
    CStatsCollection side{&logPipe, true};
};

struct PeriodCase {
    double mean;
    double expectedPeriod;
};

class PeriodEstimate : public OneTypeTest, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(PeriodEstimate, FollowsTheMeanIntervalFromTheSixteenthFrame)
{
    std::vector<double> intervals;
    for (int i = 0; i < 15; ++i)
        intervals.push_back(GetParam().mean * (i % 2 ? 1.01 : 0.99));
    FeedIntervals({intervals.begin(), intervals.end() - 1});
    EXPECT_EQ(Record().period, 0.0) << "after 15 frames";
    FeedIntervals({intervals.back()});
    EXPECT_EQ(Record().period, GetParam().expectedPeriod) << "after 16 frames";
}

INSTANTIATE_TEST_SUITE_P(Means, PeriodEstimate,
                         ::testing::Values(PeriodCase{0.2, 0.2}, PeriodCase{1.0, 1.0}, PeriodCase{2.5, 2.0}),
                         [](const auto& info) {
                             char text[32];
                             std::snprintf(text, sizeof text, "mean %.1f s", info.param.mean);
                             return testing::NameFromText(text);
                         });

TEST_F(OneTypeTest, SlowIrregularTypesDoNotGetAnInfinitePeriod)
{
    // Regression test for a rate rounding to zero: a 2.5 s mean with a spread
    // between 0.1 and 0.4 once gave a period of 1 / 0.
    // Intervals 2, 3, 2, ... are estimated at 16 and at 24 frames:
    //   15 intervals: mean 37 / 15 = 2.467 s, spread sqrt((15 * 95 - 37^2) / (15 * 14)) / 2.467 = 0.209
    //   23 intervals: mean 57 / 23 = 2.478 s, spread sqrt((23 * 147 - 57^2) / (23 * 22)) / 2.478 = 0.206
    // Both spreads are too wide for the slow rule (0.1) and the whole rate is
    // floor(1 / 2.47 + 0.5) = 0 per second, so no period is learnt at all.
    std::vector<double> intervals;
    for (int i = 0; i < 23; ++i)
        intervals.push_back(i % 2 ? 3.0 : 2.0);
    FeedIntervals(intervals);
    EXPECT_EQ(Record().period, 0.0);
}

struct GapCase {
    unsigned steady;  // intervals of 1 s before the gap
    double gap;
    const char* line;  // nullptr: nothing logged
    std::uint32_t lost;
    std::uint32_t late;
};

class GapRule : public OneTypeTest, public ::testing::WithParamInterface<GapCase> {};

// 23 frames 1 s apart give period 1 s at frame 16; a gap is judged when it
// ends on frame 24, which estimates the period again, and on no other frame.
TEST_P(GapRule, IsJudgedOnTheFrameThatReestimatesThePeriod)
{
    std::vector<double> intervals(GetParam().steady, 1.0);
    intervals.push_back(GetParam().gap);
    FeedIntervals(intervals);
    const PacketStats record = Record();
    ASSERT_EQ(record.frames, GetParam().steady + 2);
    ASSERT_EQ(record.period, 1.0);
    EXPECT_EQ(record.lost, GetParam().lost);
    EXPECT_EQ(record.late, GetParam().late);
    // A gap long enough is an outage as well, logged apart (link_health_test).
    std::vector<std::string> gapLines = lines.Lines();
    std::erase_if(gapLines, [](const std::string& line) { return line.rfind("Begin_Outage", 0) == 0; });
    if (GetParam().line != nullptr)
        EXPECT_THAT(gapLines, ::testing::ElementsAre(GetParam().line));
    else
        EXPECT_TRUE(gapLines.empty());
}

INSTANTIATE_TEST_SUITE_P(Gaps, GapRule,
                         ::testing::Values(GapCase{22, 3.0, "Lost 2 Packets ", 2, 0},
                                           GapCase{22, 2.0, "Lost 1 Packets ", 0, 1},
                                           GapCase{22, 1.4, "Lost 0 Packets ", 0, 1}, GapCase{22, 1.2, nullptr, 0, 0},
                                           GapCase{20, 5.0, nullptr, 0, 0}),
                         [](const auto& info) {
                             char text[48];
                             std::snprintf(text, sizeof text, "%u steady then %.1f s", info.param.steady,
                                           info.param.gap);
                             return testing::NameFromText(text);
                         });

TEST(StatsCollectionTest, SummaryListsEveryTypeWithItsAveragesAndInterval)
{
    CLogPipe logPipe;
    CStatsCollection side(&logPipe, false);
    const TimeStamp start = TimeStampNow();
    side.RecordFrame(kFrameClassCMR, 0, 100, 1, start);
    side.RecordFrame(kFrameClassCMR, 0, 50, 1, start + 2'000'000'000);
    side.RecordFrame(kFrameClassRTCM2, 9, 25, 1, start + 1'000'000'000);
    const std::string summary = side.Summary(true, start + 10'000'000'000);
    EXPECT_NE(summary.find("\r\n\r\nSummary of Packets received\r\n"), std::string::npos);
    EXPECT_NE(summary.find("\r\n    CMR Type 0, Received     2, Average Size  75.0 bytes, Average Pkts/s 0.500"
                           "\r\n\t\t\t\t This Interval 0.200000"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("\r\n    RTCM v2 Type 9, Received     1, Average Size  25.0 bytes, Average Pkts/s 0.000"),
              std::string::npos);
    EXPECT_EQ(summary.find("Unmatched"), std::string::npos);
    EXPECT_NE(summary.find("\r\n\r\n  Received a Total of 3 Packets\r\n"), std::string::npos);
    // The interval counts start again.
    EXPECT_NE(side.Summary(true, start + 20'000'000'000).find("This Interval 0.000000"), std::string::npos);
}

TEST(StatsCollectionTest, IntervalRightAfterItsStartPrintsZero)
{
    // Regression test for a division by zero seconds.
    CLogPipe logPipe;
    CStatsCollection side(&logPipe, false);
    const TimeStamp now = TimeStampNow();
    side.RecordFrame(kFrameClassATS, 0, 15, 1, now);
    const std::string summary = side.Summary(true, now + 100'000'000);
    EXPECT_NE(summary.find("This Interval 0.000000"), std::string::npos) << summary;
    EXPECT_EQ(side.IntervalRate(0, kFrameClassATS, now + 100'000'000), 0.0);
}

TEST_F(LinkTest, SummaryReportsUnmatchedFramesOfTheInterval)
{
    Frame(receiver, 0.0, 99);
    const std::string summary = receiver.Summary(true, At(5.0));
    EXPECT_NE(summary.find(" Unmatched Packets 1"), std::string::npos);
    EXPECT_EQ(receiver.Summary(true, At(6.0)).find("Unmatched"), std::string::npos);
    EXPECT_EQ(RecordOf(receiver, kFrameClassCMR, 0).unmatched, 1u) << "the run's count is not the interval's";
}

TEST(StatsCollectionTest, RecordsComeInTableOrder)
{
    CLogPipe logPipe;
    CStatsCollection side(&logPipe, false);
    // Keys 0x10000 and 0x50000 + 1005 share no bucket; two keys of one bucket
    // are listed newest first.
    side.RecordFrame(kFrameClassCMR, 0, 1, 1, At(0));
    side.RecordFrame(kFrameClassCMR, 17 * 16, 1, 1, At(0));
    side.RecordFrame(kFrameClassRTCM3, 1005, 1, 1, At(0));
    std::vector<std::uint32_t> keys;
    PacketStats record;
    int position = -1;
    while (position != 0 && side.NextRecord(position, record, false))
        keys.push_back(record.key);
    ASSERT_EQ(keys.size(), 3u);
    std::vector<std::uint32_t> expected = {FrameKey(1, 17 * 16), FrameKey(1, 0), FrameKey(5, 1005)};
    std::stable_sort(expected.begin(), expected.end(),
                     [](std::uint32_t a, std::uint32_t b) { return (a / 16) % 17 < (b / 16) % 17; });
    EXPECT_EQ(keys, expected);
}

TEST(StatsCollectionTest, PipeEntriesFileFramesUnderTheirClass)
{
    CLogPipe logPipe;
    CStatsCollection side(&logPipe, false);
    const std::uint8_t bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const TimeStamp now = At(0);
    side.OnCMRFrame(3, bytes, 4, 0, now);
    side.OnCMRWFrame(12, bytes, 4, 0, now);
    side.OnSendToFrame(bytes, 3, 0, now);
    side.OnRTCMFrame(9, bytes, 2, now);  // 2 data words: 4 words stored
    side.OnRTCM3Frame(1005, bytes, 12, now);
    side.OnNMEASentence(11, nullptr, "GPGGA", now);
    side.OnATSFrame(0, bytes, 5, now);
    EXPECT_EQ(RecordOf(side, 1, 3).lastSum, 10) << "1 + 2 + 3 + 4";
    EXPECT_EQ(RecordOf(side, 6, 12).lastLength, 4);
    EXPECT_EQ(RecordOf(side, 3, 1).lastSum, 6) << "type is the first data byte";
    const PacketStats rtcm2 = RecordOf(side, 2, 9);
    EXPECT_EQ(rtcm2.lastLength, 10) << "5 bytes a data word";
    EXPECT_EQ(rtcm2.lastSum, 21) << "the first 3 x 2 stored bytes";
    EXPECT_EQ(RecordOf(side, 5, 1005).lastSum, 78) << "1 + 2 + ... + 12 = 12 * 13 / 2";
    EXPECT_EQ(RecordOf(side, 4, 11).lastLength, 5);
    EXPECT_EQ(RecordOf(side, 7, 0).totalBytes, 5u);
}

}  // namespace
}  // namespace TolvarRT
