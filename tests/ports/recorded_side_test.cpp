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
#include "ports/recording/recorded_side.h"
#include "ports/recording/stream_recorder.h"
#include "temp_folder.h"

namespace TolvarRT {
namespace {

using testing::TempFolder;

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(contents.data(), std::streamsize(contents.size()));
}

// Whole lines in the text, less those of the head.
std::size_t WholeTagLines(const std::string& text)
{
    const std::string head = TimeTagHeader({});
    const std::ptrdiff_t headLines = std::count(head.begin(), head.end(), '\n');
    return std::size_t(std::max<std::ptrdiff_t>(std::count(text.begin(), text.end(), '\n') - headLines, 0));
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

// A side read a piece at a time, whatever the block its files are read in: a
// chunk longer than asked comes in pieces that go on with it.
TEST(RecordedSideTest, AReaderGivesEachChunkInPiecesNoLongerThanAsked)
{
    TempFolder folder;
    WriteFile(folder.File("side.raw"), "abcdefghij");
    WriteFile(folder.File("side.tags"), "tolvar-time-tags 2\nsession 1\norigin-date 1.0\n0 0\n3 10\n9 20\nend 10\n");
    sRecordedExtent extent;
    std::string error;
    ASSERT_TRUE(JudgeRecordedSide(folder.File("side.raw"), extent, error)) << error;
    struct sRead {
        std::string bytes;
        std::uint64_t offset;
        bool startsChunk;
        bool operator==(const sRead&) const = default;
    };
    for (const std::size_t readBlock : {std::size_t(1), std::size_t(2), CFileBlocks::kBlock}) {
        CRecordedSideReader reader(readBlock);
        std::vector<sTimeTag> tags;
        ASSERT_TRUE(reader.Open(folder.File("side.raw"), extent, error, &tags)) << error;
        std::vector<sRead> pieces;
        for (CRecordedSideReader::sPiece piece; reader.Next(4, piece, error) && piece.length > 0;)
            pieces.push_back({std::string(piece.data, piece.data + piece.length), piece.offset, piece.startsChunk});
        EXPECT_EQ(error, "");
        EXPECT_EQ(pieces, (std::vector<sRead>{{"abc", 0, true}, {"defg", 3, true}, {"hi", 7, false}, {"j", 9, true}}))
            << "read in blocks of " << readBlock;
        EXPECT_EQ(tags.size(), 3u);
    }
}

TEST(RecordedSideTest, ASideCutAfterItWasJudgedOrATagLineLongerThanABlockIsAnError)
{
    TempFolder folder;
    const std::string head = "tolvar-time-tags 2\nsession 1\norigin-date 1.0\n";
    WriteFile(folder.File("side.raw"), "abcdefghij");
    WriteFile(folder.File("side.tags"), head + "# " + std::string(CFileBlocks::kBlock, 'n') + "\n0 0\nend 10\n");
    sRecordedExtent extent;
    std::string error;
    ASSERT_TRUE(JudgeRecordedSide(folder.File("side.raw"), extent, error)) << error << ": a long note is no harm";
    EXPECT_EQ(extent.usable, 10u);

    // Cut while it was decoded: what was judged whole is no longer there.
    CRecordedSideReader reader;
    ASSERT_TRUE(reader.Open(folder.File("side.raw"), extent, error)) << error;
    WriteFile(folder.File("side.raw"), "abc");
    CRecordedSideReader::sPiece piece;
    EXPECT_FALSE(reader.Next(64, piece, error));
    EXPECT_EQ(error, folder.File("side.raw") + ": shorter than when it was first read");

    WriteFile(folder.File("side.tags"), head + "0 " + std::string(CFileBlocks::kBlock, '1') + "\n");
    EXPECT_FALSE(JudgeRecordedSide(folder.File("side.raw"), extent, error));
    EXPECT_EQ(error, folder.File("side.tags") + ": line 4: too long");
}

}  // namespace
}  // namespace TolvarRT
