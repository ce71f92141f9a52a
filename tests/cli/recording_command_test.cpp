// What --record makes of a test beside its figures: a full disk told at once
// and in the figures while the test goes on, and a recording decoded in the
// chunks it was received in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/capture_replay.h"
#include "cli/decode_command.h"
#include "cli/demo_command.h"
#include "cli/link_test.h"
#include "ports/recording/time_tag_file.h"
#include "stats/link_figures.h"
#include "temp_folder.h"

namespace {

using TolvarRT::testing::TempFolder;

// Regression test for a recording that could fail unseen: the failed side is
// named at once and in the figures, and the test's own figures are whole.
TEST(RecordingCommandTest, AFullDiskIsToldAtOnceAndTheTestGoesOn)
{
    TempFolder folder;
    const std::string rec = folder.File("rec");
    std::filesystem::create_directories(rec);
    std::filesystem::create_symlink("/dev/full", rec + "/listener.raw");
    cli::sDemoOptions options;
    options.loop.seconds = 3;
    options.schedule = 0;
    options.loop.recordFolder = rec;
    std::vector<std::string> warnings;
    options.loop.onWarning = [&](const std::string& warning) { warnings.push_back(warning); };
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);

    ASSERT_TRUE(result.error.empty()) << result.error;
    const std::string failure = rec + "/listener.raw: No space left on device";
    EXPECT_EQ(warnings, std::vector<std::string>{"recording stopped, " + failure});
    EXPECT_EQ(result.figures.recordingFailures, std::vector<std::string>{failure});
    EXPECT_NE(cli::DemoText(result).find("Recording failed: " + failure), std::string::npos);
    EXPECT_EQ(cli::DemoJson(result)["recording"]["failures"][0], failure);
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_GT(total.matched, 0u);
    EXPECT_EQ(total.received, result.account.delivered) << "the Listener lost nothing to the recording";
    EXPECT_GT(std::filesystem::file_size(rec + "/source.raw"), 0u) << "the other side is still recorded";
}

TEST(RecordingCommandTest, ARecordingIsDecodedInTheChunksItWasReceivedIn)
{
    TempFolder folder;
    const std::vector<std::uint8_t> packet = {0x02, 0x00, 0x93, 0x02, 0x00, 0x29, 0xBE, 0x03};
    {
        std::ofstream data(folder.File("listener.raw"), std::ios::binary);
        std::ofstream tags(folder.File("listener.tags"), std::ios::binary);
        tags << TolvarRT::TimeTagHeader({}) << TolvarRT::TimeTagLine({0, 0}) << TolvarRT::TimeTagLine({3, 10})
             << TolvarRT::TimeTagLine({5, 20}) << TolvarRT::TimeTagEndLine(packet.size());
        data.write(reinterpret_cast<const char*>(packet.data()), std::streamsize(packet.size()));
        std::ofstream(folder.File("notes.txt")) << "not a side";
    }
    std::vector<TolvarRT::sCaptureStream> streams;
    std::string error;
    ASSERT_TRUE(TolvarRT::ReadCaptureStreams(folder.Path().string(), streams, error)) << error;
    ASSERT_EQ(streams.size(), 1u);
    using Cuts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    EXPECT_EQ(streams[0].recordedChunks, (Cuts{{0, 3}, {3, 5}, {5, 8}}));

    EXPECT_EQ(cli::FrameLines(cli::DecodeStreams({streams[0].bytes}, {1024, false}, {streams[0].recordedChunks})),
              "{\"offset\":0,\"length\":8,\"class\":1,\"type\":1,\"name\":\"CMR Type 1\",\"chunk\":2}\n")
        << "the frame's last byte came in the third chunk received";

    // Killed while recording: the third chunk's tag never reached the disk.
    std::ofstream(folder.File("listener.tags"), std::ios::trunc)
        << TolvarRT::TimeTagHeader({}) << TolvarRT::TimeTagLine({0, 0}) << TolvarRT::TimeTagLine({3, 10}) << "5 2";
    std::ostringstream notes;
    streams.clear();
    ASSERT_TRUE(TolvarRT::ReadCaptureStreams(folder.Path().string(), streams, error, notes)) << error;
    EXPECT_EQ(streams[0].recordedChunks, (Cuts{{0, 3}}));
    EXPECT_EQ(notes.str(), "tolvar: " + folder.File("listener.raw") +
                               ": the recording was cut short; using its first 3 bytes in 1 chunk, leaving out 5 "
                               "bytes and 1 time tag after them and a torn last time-tag line\n");

    EXPECT_FALSE(TolvarRT::ReadCaptureStreams(folder.File("missing"), streams, error));
    std::filesystem::create_directories(folder.File("empty"));
    EXPECT_FALSE(TolvarRT::ReadCaptureStreams(folder.File("empty"), streams, error));
    EXPECT_NE(error.find("without a recorded side"), std::string::npos) << error;
}

}  // namespace
