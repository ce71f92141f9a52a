// A demonstration recorded with --record and replayed through FILE: ports on
// both sides gives the live run's frame counts and latencies: the replayed
// chunks carry their recorded times, at the recording's pace or at none.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

}  // namespace
