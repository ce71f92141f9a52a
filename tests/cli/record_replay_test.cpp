// A demonstration recorded with --record and replayed through FILE: ports on
// both sides gives the live run's frame counts and latencies: the replayed
// chunks carry their recorded times, at the recording's pace or at none; and
// its outages, judged on the recorded clock at whatever speed it plays.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "cli/demo_command.h"
#include "cli/run_command.h"
#include "stats/link_figures.h"
#include "temp_folder.h"

namespace {

using TolvarRT::sLinkFigures;
using TolvarRT::testing::TempFolder;

class RecordReplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new TempFolder;
        cli::sDemoOptions options;
        options.loop.seconds = 4;
        options.schedule = 0;
        options.channel.seed = 7;
        options.channel.jitterMs = 40;
        options.channel.lossPercent = 10;
        options.loop.recordFolder = folder->File("rec");
        std::ostringstream progress;
        live = new cli::sDemoResult(cli::RunDemo(options, progress));
    }
    static void TearDownTestSuite()
    {
        delete live;
        delete folder;
    }

    static cli::sRunResult Replay(const std::string& speed, unsigned seconds)
    {
        cli::sRunOptions options;
        options.listener.port = "FILE:" + folder->File("rec/listener.raw") + speed;
        options.source.port = "FILE:" + folder->File("rec/source.raw") + speed;
        options.loop.seconds = seconds;
        std::ostringstream progress;
        return cli::RunLinkTest(options, progress);
    }

    static void ExpectTheLiveFigures(const cli::sRunResult& replay)
    {
        ASSERT_TRUE(live->error.empty()) << live->error;
        ASSERT_TRUE(replay.error.empty()) << replay.error;
        ASSERT_EQ(replay.figures.measured.size(), live->figures.measured.size());
        for (std::size_t i = 0; i < live->figures.measured.size(); ++i) {
            const sLinkFigures& was = live->figures.measured[i];
            const sLinkFigures& is = replay.figures.measured[i];
            SCOPED_TRACE(was.name);
            EXPECT_EQ(is.name, was.name);
            EXPECT_EQ(is.sent, was.sent);
            EXPECT_EQ(is.received, was.received);
            EXPECT_EQ(is.matched, was.matched);
            ASSERT_GT(is.matched, 0u);
            EXPECT_NEAR(is.LatencyMeanS() * 1000.0, was.LatencyMeanS() * 1000.0, 2.0);
            EXPECT_NEAR(is.latencyMinS * 1000.0, was.latencyMinS * 1000.0, 2.0);
            EXPECT_NEAR(is.latencyMaxS * 1000.0, was.latencyMaxS * 1000.0, 2.0);
        }
    }

    static TempFolder* folder;
    static cli::sDemoResult* live;
};

TempFolder* RecordReplayTest::folder = nullptr;
cli::sDemoResult* RecordReplayTest::live = nullptr;

TEST_F(RecordReplayTest, AReplayAtTheRecordedPaceMeasuresWhatTheLiveRunDid)
{
    EXPECT_TRUE(live->figures.recordingFailures.empty());
    // The recording lasts the demonstration's seconds and its drain.
    ExpectTheLiveFigures(Replay("", 6));
}

TEST_F(RecordReplayTest, AReplayAsFastAsPossibleMeasuresTheSame)
{
    ExpectTheLiveFigures(Replay("::x0", 1));
}

// 9 s at schedule 0 with nothing lost but a blackout from 1.5 to 7.5 s: one
// outage of the whole link, judged on the first intervals.
TEST(ReplayClockTest, ARecordingFindsTheSameOutagesAtEverySpeed)
{
    TempFolder folder;
    cli::sDemoOptions options;
    options.loop.seconds = 9;
    options.schedule = 0;
    options.channel.lossPercent = 0;
    ASSERT_TRUE(cli::ParseDropWindow("1.5-7.5", options.channel.dropWindows.emplace_back()));
    options.loop.recordFolder = folder.File("rec");
    std::ostringstream progress;
    const cli::sDemoResult live = cli::RunDemo(options, progress);
    ASSERT_TRUE(live.error.empty()) << live.error;
    ASSERT_EQ(live.figures.listenerHealth.outages.size(), 1u);

    const auto replay = [&](const std::string& speed, unsigned seconds) {
        cli::sRunOptions replayed;
        replayed.listener.port = "FILE:" + folder.File("rec/listener.raw") + speed;
        replayed.source.port = "FILE:" + folder.File("rec/source.raw") + speed;
        replayed.loop.seconds = seconds;
        std::ostringstream ignored;
        const cli::sRunResult result = cli::RunLinkTest(replayed, ignored);
        EXPECT_TRUE(result.error.empty()) << result.error;
        return result.figures;
    };
    // The recording lasts the 9 s and the drain.
    const cli::sTestFigures paced = replay("", 11);
    const cli::sSideHealth& expected = paced.listenerHealth;
    ASSERT_EQ(expected.outages.size(), 1u);
    const TolvarRT::sOutage& outage = expected.outages[0];
    EXPECT_TRUE(outage.wholeLink);
    ASSERT_TRUE(outage.end.has_value());
    EXPECT_NEAR(outage.durationS, live.figures.listenerHealth.outages[0].durationS, 0.005);
    EXPECT_EQ(paced.sourceHealth.outages.size(), 0u);

    const auto secondsIn = [](const cli::sSideHealth& health, TolvarRT::TimeStamp time) {
        return TolvarRT::SecondsBetween(time, health.runStart);
    };
    for (const auto& [speed, seconds] : {std::pair<std::string, unsigned>{"::x0.5", 21}, {"::x10", 2}, {"::x0", 1}}) {
        SCOPED_TRACE(speed);
        const cli::sTestFigures figures = replay(speed, seconds);
        const cli::sSideHealth& health = figures.listenerHealth;
        EXPECT_EQ(health.counts.linkOutages, expected.counts.linkOutages);
        EXPECT_EQ(health.counts.typeOutages, expected.counts.typeOutages);
        EXPECT_EQ(figures.sourceHealth.counts.linkOutages, 0u);
        ASSERT_EQ(health.outages.size(), 1u);
        const TolvarRT::sOutage& found = health.outages[0];
        EXPECT_NEAR(secondsIn(health, found.start), secondsIn(expected, outage.start), 0.005);
        ASSERT_TRUE(found.end.has_value());
        EXPECT_NEAR(secondsIn(health, *found.end), secondsIn(expected, *outage.end), 0.005);
        EXPECT_NEAR(found.durationS, outage.durationS, 0.005);
    }
}

}  // namespace
