// Reading a recorded side back: a recording cut short anywhere in the last
// bytes of its data or its time tags (a crash, a kill, a full disk) gives the
// chunks it holds whole, never refused and never past the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ports/byte_pipe.h"
#include "ports/recorded_side.h"
#include "ports/stream_recorder.h"
#include "temp_folder.h"

namespace TolvarRT {
namespace {

using testing::TempFolder;

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(contents.data(), std::streamsize(contents.size()));
}

// Whole lines in the text, less the three of the head.
std::size_t WholeTagLines(const std::string& text)
{
    return std::size_t(std::max<std::ptrdiff_t>(std::count(text.begin(), text.end(), '\n') - 3, 0));
}

TEST(RecordedSideTest, ARecordingCutAnywhereInItsLastBytesGivesTheChunksItHoldsWhole)
{
    TempFolder folder;
    sRecordingClock clock;
    clock.origin = 5000;
    clock.session = 0xC07;
    const std::string dataPath = folder.File("side.raw");
    {
        CBytePipeSubscription pipe;
        CStreamRecorder recorder;
        recorder.Subscribe(&pipe);
        std::string error;
        ASSERT_TRUE(recorder.Start(dataPath, TimeTagPathFor(dataPath), clock, error)) << error;
        // Chunks of 1 to 13 bytes, so that cuts fall inside chunks and tag lines alike.
        std::vector<std::uint8_t> chunk;
        for (int i = 0; i < 60; ++i) {
            chunk.assign(std::size_t(1 + i % 13), std::uint8_t(i));
            pipe.PublishStampedBytes(chunk.data(), std::uint32_t(chunk.size()), clock.origin + 1000 * i);
        }
        ASSERT_TRUE(recorder.Stop()) << recorder.Failure();
        recorder.Unsubscribe();
    }
    sRecordedSide whole;
    std::string error;
    ASSERT_TRUE(ReadRecordedSide(dataPath, whole, error)) << error;
    ASSERT_EQ(whole.chunks.size(), 60u);
    EXPECT_EQ(whole.leftOut, "") << "a recording stopped as it should is used whole";

    const std::string data = TempFolder::Contents(dataPath);
    const std::string tags = TempFolder::Contents(TimeTagPathFor(dataPath));
    ASSERT_GT(tags.size(), 64u + 80u) << "the cuts stay clear of the head";
    const std::string cutPath = folder.File("cut.raw");
    for (std::size_t dataCut = data.size() - 64; dataCut <= data.size(); ++dataCut) {
        WriteFile(cutPath, data.substr(0, dataCut));
        for (std::size_t tagsCut = tags.size() - 64; tagsCut <= tags.size(); ++tagsCut) {
            // Each file cut at every byte with the other whole, and both cut on a grid.
            if (dataCut != data.size() && tagsCut != tags.size() && (dataCut % 8 != 0 || tagsCut % 8 != 0))
                continue;
            const std::string cutTags = tags.substr(0, tagsCut);
            WriteFile(TimeTagPathFor(cutPath), cutTags);
            const std::string where = "data cut at " + std::to_string(dataCut) + ", tags at " + std::to_string(tagsCut);
            sRecordedSide side;
            ASSERT_TRUE(ReadRecordedSide(cutPath, side, error)) << where << ": " << error;

            // Chunk i is known whole when the next tag (or the end line) is
            // whole and the data holds all of it.
            const std::size_t lines = WholeTagLines(cutTags);
            std::size_t expected = 0;
            while (expected < whole.chunks.size() && expected + 1 < lines + (lines > 60 ? 1 : 0) &&
                   whole.chunks[expected].second <= dataCut)
                ++expected;
            ASSERT_EQ(side.chunks.size(), expected) << where;
            EXPECT_TRUE(std::equal(side.chunks.begin(), side.chunks.end(), whole.chunks.begin())) << where;
            ASSERT_EQ(side.tags.tags.size(), expected) << where;
            for (std::size_t i = 0; i < expected; ++i)
                EXPECT_EQ(side.tags.tags[i].nanoseconds, whole.tags.tags[i].nanoseconds) << where;
            const std::uint64_t used = expected == 0 ? 0 : whole.chunks[expected - 1].second;
            ASSERT_EQ(side.bytes.size(), used) << where << ": never past the data";
            EXPECT_TRUE(std::equal(side.bytes.begin(), side.bytes.end(), whole.bytes.begin())) << where;
            EXPECT_EQ(side.leftOut.empty(), dataCut == data.size() && tagsCut == tags.size()) << where;
        }
    }
}

TEST(RecordedSideTest, OlderRecordingsDamagedTagsAndPlainCaptures)
{
    TempFolder folder;
    WriteFile(folder.File("side.raw"), "abcdefghij");
    sRecordedSide side;
    std::string error;
    // An older recording has no end line: its last chunk runs to the data's end.
    WriteFile(folder.File("side.tags"), "tolvar-time-tags 1\nsession 1\norigin-date 1.0\n0 0\n4 10\n");
    ASSERT_TRUE(ReadRecordedSide(folder.File("side.raw"), side, error)) << error;
    EXPECT_EQ(side.chunks, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{0, 4}, {4, 10}}));
    EXPECT_EQ(side.leftOut, "");

    // A damaged head or a bad whole line is no cut: the side is refused.
    WriteFile(folder.File("side.tags"), "tolvar-time-tags 2\nsession 1\norigin-date 1.0\n0 0\n4 soon\n8 20\n");
    EXPECT_FALSE(ReadRecordedSide(folder.File("side.raw"), side, error));
    EXPECT_EQ(error, folder.File("side.tags") + ": line 5: bad time");
    // Without a time-tag file the data is a plain capture, used whole.
    std::filesystem::remove(folder.File("side.tags"));
    ASSERT_TRUE(ReadRecordedSide(folder.File("side.raw"), side, error)) << error;
    EXPECT_FALSE(side.timed);
    EXPECT_EQ(side.bytes.size(), 10u);
}

}  // namespace
}  // namespace TolvarRT
