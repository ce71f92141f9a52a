// A demonstration recorded with --record and replayed through FILE: ports on
// both sides gives the live run's frame counts and latencies: the replayed
// chunks carry their recorded times, at the recording's pace or at none; and
// its outages, judged on the recorded clock at whatever speed it plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "cli/demo_command.h"
#include "cli/run_command.h"
#include "cli/verdict.h"
#include "rtcm3_frame_builder.h"
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

// A recording made by hand: RTCM v3 frames from a real Source at 0.5, 1.5,
// 2.5 and 3.5 s, and the Listener's copies 100 ms later, but the one sent at
// 2.5 s comes at lateAt (none: never). A run of 3 s ends with it in flight
// and the one sent at 3.5 s not the run's.
void WriteRecording(const TempFolder& folder, std::optional<double> lateAt)
{
    std::filesystem::create_directories(folder.File("rec"));
    const auto side = [&](const std::string& name, const std::vector<std::pair<double, unsigned>>& chunks) {
        std::ofstream raw(folder.File("rec/" + name + ".raw"), std::ios::binary);
        std::ofstream tags(folder.File("rec/" + name + ".tags"));
        tags << "tolvar-time-tags 1\nsession 5eed\norigin-date 45000.5\n";
        std::uint64_t offset = 0;
        for (const auto& [seconds, frame] : chunks) {
            const std::vector<std::uint8_t> bytes = TolvarRT::testing::rtcm3_reference::Frame(1005, 19, 0, frame);
            raw.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            tags << offset << " " << std::llround(seconds * 1e9) << "\n";
            offset += bytes.size();
        }
    };
    side("source", {{0.5, 1}, {1.5, 2}, {2.5, 3}, {3.5, 4}});
    std::vector<std::pair<double, unsigned>> received{{0.6, 1}, {1.6, 2}, {3.6, 4}};
    if (lateAt)
        received.push_back({*lateAt, 3});
    std::sort(received.begin(), received.end());
    side("listener", received);
}

struct sEnded {
    cli::sRunResult result;
    std::vector<std::string> warnings;
};

sEnded RunThreeSeconds(const TempFolder& folder)
{
    sEnded ended;
    cli::sRunOptions options;
    options.listener.port = "FILE:" + folder.File("rec/listener.raw");
    options.source.port = "FILE:" + folder.File("rec/source.raw");
    options.loop.seconds = 3;
    options.loop.onWarning = [&](const std::string& warning) { ended.warnings.push_back(warning); };
    std::ostringstream progress;
    ended.result = cli::RunLinkTest(options, progress);
    return ended;
}

TEST(InFlightAtTheEndTest, AFrameThatArrivesLateIsWaitedForAndCountsAsReceived)
{
    TempFolder folder;
    WriteRecording(folder, 4.0);
    const sEnded ended = RunThreeSeconds(folder);
    ASSERT_TRUE(ended.result.error.empty()) << ended.result.error;
    EXPECT_TRUE(ended.warnings.empty()) << ended.warnings.front();
    ASSERT_EQ(ended.result.figures.measured.size(), 1u);
    const sLinkFigures& rtcm = ended.result.figures.measured[0];
    EXPECT_EQ(rtcm.sent, 3u) << "the frame sent after the end is not the run's";
    EXPECT_EQ(rtcm.matched, 3u);
    EXPECT_EQ(rtcm.received, 3u) << "nor is its copy";
    EXPECT_EQ(rtcm.unmatched, 0u);
    EXPECT_EQ(rtcm.missed, 0u);
    EXPECT_EQ(rtcm.inFlight, 0u);
    EXPECT_NEAR(rtcm.latencyMaxS, 1.5, 0.005);
    EXPECT_EQ(ended.result.figures.inFlightAtEnd, 1u);
    const cli::sVerdict verdict =
        cli::Judge({cli::sRequirement{cli::sRequirement::eKind::Received, "RTCM v3 Type 1005", 100.0, "x"}},
                   ended.result.figures.measured, true);
    EXPECT_TRUE(verdict.passed) << cli::VerdictLine(verdict);
}

TEST(InFlightAtTheEndTest, AFrameThatNeverArrivesIsWaitedForUpToTheBoundThenMissed)
{
    TempFolder folder;
    WriteRecording(folder, std::nullopt);
    const auto start = std::chrono::steady_clock::now();
    const sEnded ended = RunThreeSeconds(folder);
    ASSERT_TRUE(ended.result.error.empty()) << ended.result.error;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "3 s and the bound of 2 s";
    ASSERT_EQ(ended.warnings.size(), 1u);
    EXPECT_EQ(ended.warnings[0],
              "1 of 1 source frames in flight at the end had not arrived after 2.0 s (the bound): counted missed");
    ASSERT_EQ(ended.result.figures.measured.size(), 1u);
    const sLinkFigures& rtcm = ended.result.figures.measured[0];
    EXPECT_EQ(rtcm.sent, 3u);
    EXPECT_EQ(rtcm.matched, 2u);
    EXPECT_EQ(rtcm.received, 2u);
    EXPECT_EQ(rtcm.missed, 1u);
    EXPECT_EQ(rtcm.inFlight, 0u);
    EXPECT_EQ(ended.result.figures.leftInFlight, 1u);
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
        // Seconds into the run count from the statistics' reset, which comes a
        // connection's time (a few ms, more on a loaded machine) before the
        // replay's first byte; the outage's own length is the recording's.
        EXPECT_NEAR(secondsIn(health, found.start), secondsIn(expected, outage.start), 0.05);
        ASSERT_TRUE(found.end.has_value());
        EXPECT_NEAR(secondsIn(health, *found.end), secondsIn(expected, *outage.end), 0.05);
        EXPECT_NEAR(found.durationS, outage.durationS, 0.005);
    }
}

}  // namespace
