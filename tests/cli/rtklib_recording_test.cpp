// Recordings passed between RTKLIB's str2str and this tool both ways: a real
// capture paced into str2str and recorded with its time tags is cut in the
// chunks str2str wrote, by the reader and by decode, and a run on it counts
// every frame; a test recorded with --record-format rtklib is replayed by
// str2str byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/demo_command.h"
#include "cli/run_command.h"
#include "ports/recording/recorded_side.h"
#include "str2str_recording.h"
#include "tolvar_process.h"

namespace {

using cli::testing::Bytes;
using cli::testing::ReadBytes;
using TolvarRT::testing::TempFolder;

class Str2strRecordingTest : public ::testing::Test {
protected:
    static constexpr int kWrites = 8;
    static constexpr auto kPace = std::chrono::milliseconds(100);

    static void SetUpTestSuite()
    {
        folder = new TempFolder;
        recording = new cli::testing::sPacedRecording(cli::testing::RecordPacedCapture(*folder, kWrites, kPace));
    }
    static void TearDownTestSuite()
    {
        delete recording;
        delete folder;
    }
    void SetUp() override
    {
        ASSERT_EQ(recording->error, "");
        ASSERT_EQ(ReadBytes(recording->path), recording->fed) << "str2str recorded what it was fed";
        std::string error;
        ASSERT_TRUE(TolvarRT::ReadRecordedSide(recording->path, side, error)) << error;
    }

    static TempFolder* folder;
    static cli::testing::sPacedRecording* recording;
    TolvarRT::sRecordedSide side;
};

TempFolder* Str2strRecordingTest::folder = nullptr;
cli::testing::sPacedRecording* Str2strRecordingTest::recording = nullptr;

TEST_F(Str2strRecordingTest, ItsChunksAreTheWritesItReceivedAtTheirPace)
{
    EXPECT_TRUE(side.tags.rtklib);
    EXPECT_EQ(side.leftOut, "");
    // str2str may cut a write in two but never joins two writes apart in time.
    std::vector<std::size_t> chunkEnds;
    for (const auto& chunk : side.chunks)
        chunkEnds.push_back(chunk.second);
    std::vector<std::int64_t> writeTimes;
    for (const std::size_t end : recording->writeEnds) {
        const auto found = std::find(chunkEnds.begin(), chunkEnds.end(), end);
        ASSERT_NE(found, chunkEnds.end()) << "a write ends at " << end;
        writeTimes.push_back(side.tags.tags[std::size_t(found - chunkEnds.begin())].nanoseconds);
    }
    // The writes' pace as str2str saw it, give or take its cycle of 10 ms and a
    // loaded machine.
    for (std::size_t i = 1; i < writeTimes.size(); ++i)
        EXPECT_NEAR(double(writeTimes[i] - writeTimes[i - 1]) / 1e6, double(kPace.count()), 40.0) << "write " << i;
}

TEST_F(Str2strRecordingTest, DecodeCutsItInTheRecordedChunksAndFindsEveryFrame)
{
    const cli::testing::sTolvarRun run = cli::testing::RunTolvar({"decode", "--frames", recording->path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Each frame's chunk is the recorded chunk that holds its last byte.
    const std::vector<Bytes> frames = cli::testing::Rtcm3Frames(recording->fed);
    std::istringstream lines(run.out);
    std::size_t count = 0;
    std::size_t frameEnd = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"class\":5,") == std::string::npos)
            continue;
        ASSERT_LT(count, frames.size()) << line;
        frameEnd += frames[count++].size();
        std::size_t chunk = 0;
        while (side.chunks[chunk].second < frameEnd)
            ++chunk;
        // The frame's own content may follow its chunk.
        const std::string field = "\"chunk\":" + std::to_string(chunk);
        EXPECT_TRUE(line.find(field + "}") != std::string::npos || line.find(field + ",") != std::string::npos) << line;
    }
    EXPECT_EQ(count, 429u) << "as the captures' manifest counts them";
    EXPECT_EQ(count, recording->frames);
}

TEST_F(Str2strRecordingTest, ARunOnItReceivesEveryFrame)
{
    cli::sRunOptions options;
    options.listener.port = "file://" + recording->path + "::T::x0";
    options.loop.seconds = 1;
    std::ostringstream progress;
    const cli::sRunResult run = cli::RunLinkTest(options, progress);
    ASSERT_EQ(run.error, "");
    std::uint64_t received = 0;
    for (const TolvarRT::sLinkFigures& type : run.figures.measured)
        received += type.received;
    EXPECT_EQ(received, recording->frames);
}

TEST(RtklibRecordFormatTest, Str2strReplaysATestRecordedForItByteForByte)
{
    ASSERT_FALSE(cli::testing::Str2strPath().empty()) << cli::testing::kNoStr2str;
    TempFolder folder;
    cli::sDemoOptions options;
    options.loop.seconds = 1;
    options.schedule = 0;
    options.loop.recordFolder = folder.File("rec");
    options.loop.recordRtklib = true;
    std::ostringstream progress;
    const cli::sDemoResult demo = cli::RunDemo(options, progress);
    ASSERT_TRUE(demo.error.empty()) << demo.error;
    const std::string listener = folder.File("rec/listener.raw");
    const Bytes recorded = ReadBytes(listener);
    ASSERT_GT(recorded.size(), 0u);

    // str2str replays it by its tags, ten times faster to save time.
    const std::string copy = folder.File("copy.raw");
    cli::testing::Str2str str2str({"-in", "file://" + listener + "::T::x10", "-out", "file://" + copy}, false);
    ASSERT_TRUE(str2str.Started());
    EXPECT_TRUE(TolvarRT::testing::WaitUntil([&] { return cli::testing::FileSize(copy) >= recorded.size(); }));
    str2str.Stop();
    EXPECT_EQ(ReadBytes(copy), recorded);

    // RTKLIB's tags alone cut the side as ours do, to the millisecond.
    TolvarRT::sRecordedSide ours;
    std::string error;
    ASSERT_TRUE(TolvarRT::ReadRecordedSide(listener, ours, error)) << error;
    ASSERT_FALSE(ours.tags.rtklib);
    std::filesystem::rename(folder.File("rec/listener.tags"), folder.File("listener.tags.kept"));
    TolvarRT::sRecordedSide theirs;
    ASSERT_TRUE(TolvarRT::ReadRecordedSide(listener, theirs, error)) << error;
    ASSERT_TRUE(theirs.tags.rtklib);
    EXPECT_EQ(theirs.chunks, ours.chunks);
    ASSERT_EQ(theirs.tags.tags.size(), ours.tags.tags.size());
    for (std::size_t i = 0; i < ours.tags.tags.size(); ++i)
        EXPECT_EQ(theirs.tags.tags[i].nanoseconds, ours.tags.tags[i].nanoseconds / 1000000 * 1000000) << i;
}

}  // namespace
