// Decoding as a stream: captures read from their files a block at a time,
// with each listing entry handed out once no decoder can change it, give
// exactly what decoding them held whole gives: text, JSON, frame lines and
// the notes about recordings cut short.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture_manifest.h"
#include "cli/capture_replay.h"
#include "cli/decode_command.h"
#include "fake_byte_pipe.h"
#include "ports/recording/time_tag_file.h"
#include "temp_folder.h"
#include "web/json_text.h"

namespace {

using TolvarRT::testing::TempFolder;

// The real captures one after the other, twice, with a stretch of noise
// between: longer than a decoder's reach, so entries leave while decoding
// goes on. First, RTCM v2 frames with 60000 bytes the decoder ignores inside
// one of them: it places that frame, and reports bytes lost, far behind the
// newest chunk.
std::vector<std::uint8_t> LongStream()
{
    std::vector<std::uint8_t> stream;
    const std::vector<std::uint8_t> rtcm2 = TolvarRT::testing::ReadCapture("sample.rtcm2");
    stream.insert(stream.end(), rtcm2.begin(), rtcm2.begin() + 100);
    stream.insert(stream.end(), 60000, 0x00);
    stream.insert(stream.end(), rtcm2.begin() + 100, rtcm2.end());
    for (int round = 0; round < 2; ++round) {
        for (const auto& entry : TolvarRT::testing::CaptureManifest()) {
            const std::vector<std::uint8_t> bytes = TolvarRT::testing::ReadCapture(entry.file);
            stream.insert(stream.end(), bytes.begin(), bytes.end());
        }
        std::uint32_t noise = 12345;
        for (int i = 0; i < 200000 && round == 0; ++i) {
            noise = noise * 1103515245u + 12345u;
            stream.push_back(std::uint8_t(noise >> 24));
        }
    }
    return stream;
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(contents.data(), std::streamsize(contents.size()));
}

// Tags that cut length bytes into chunks from 1 byte to a port's largest.
std::string TimeTags(std::uint64_t length, bool ended)
{
    static const std::uint64_t kSteps[] = {1, 7, 300, 1024, 4000, 65536, 13};
    std::string text = TolvarRT::TimeTagHeader({});
    std::size_t step = 0;
    for (std::uint64_t offset = 0; offset < length; offset += kSteps[step++ % std::size(kSteps)])
        text += TolvarRT::TimeTagLine({offset, std::int64_t(offset) * 1000});
    return ended ? text + TolvarRT::TimeTagEndLine(length) : text;
}

struct sDecoded {
    std::string text;
    std::string json;
    std::string lines;
    std::string notes;
};

sDecoded Printed(const cli::sDecodeResult& result, std::string lines, const std::ostringstream& notes)
{
    return {cli::DecodeText(result), web::JsonText(cli::DecodeJson(result)), std::move(lines), notes.str()};
}

sDecoded DecodedWhole(const std::vector<std::string>& paths, std::size_t chunkSize)
{
    std::vector<TolvarRT::sCaptureStream> read;
    std::string error;
    std::ostringstream notes;
    for (const std::string& path : paths)
        EXPECT_TRUE(TolvarRT::ReadCaptureStreams(path, read, error, notes)) << error;
    std::vector<std::vector<std::uint8_t>> streams;
    std::vector<cli::ChunkCuts> cuts;
    for (TolvarRT::sCaptureStream& stream : read) {
        streams.push_back(std::move(stream.bytes));
        cuts.push_back(std::move(stream.recordedChunks));
    }
    cli::sDecodeOptions options;
    options.chunkSize = chunkSize;
    const cli::sDecodeResult result = cli::DecodeStreams(streams, options, cuts);
    return Printed(result, cli::FrameLines(result), notes);
}

sDecoded DecodedStreaming(const std::vector<std::string>& paths, std::size_t chunkSize, std::size_t readBlock)
{
    std::vector<TolvarRT::sJudgedCapture> captures;
    std::string error;
    std::ostringstream notes;
    for (const std::string& path : paths)
        EXPECT_TRUE(TolvarRT::JudgeCaptures(path, captures, error, notes)) << error;
    std::string lines;
    cli::sDecodeOptions options;
    options.chunkSize = chunkSize;
    cli::CDecodeSession session(options,
                                [&lines](const TolvarRT::sListedFrame& entry) { lines += cli::FrameLine(entry); });
    for (const TolvarRT::sJudgedCapture& capture : captures)
        EXPECT_TRUE(TolvarRT::PlayCapture(
            capture, chunkSize,
            [&session](const std::uint8_t* data, std::size_t length, bool startsChunk) {
                session.Deliver(data, length, startsChunk);
            },
            error, readBlock))
            << error;
    const cli::sDecodeResult result = session.Finish();
    return Printed(result, std::move(lines), notes);
}

TEST(DecodeStreamTest, CapturesReadInBlocksDecodeAsWhenHeldWhole)
{
    TempFolder folder;
    const std::vector<std::uint8_t> stream = LongStream();
    const std::string bytes(stream.begin(), stream.end());
    const std::string tags = TimeTags(stream.size(), true);
    WriteFile(folder.File("plain.bin"), bytes);
    std::filesystem::create_directories(folder.File("rec"));
    WriteFile(folder.File("rec/listener.raw"), bytes);
    WriteFile(folder.File("rec/listener.tags"), tags);
    WriteFile(folder.File("rec/source.raw"), bytes.substr(0, 70000));
    WriteFile(folder.File("rec/source.tags"), TimeTags(70000, true));
    // Killed while recording: data cut inside a chunk, the last tag line torn.
    std::filesystem::create_directories(folder.File("cut"));
    WriteFile(folder.File("cut/side.raw"), bytes.substr(0, bytes.size() - 5000));
    WriteFile(folder.File("cut/side.tags"), TimeTags(stream.size(), false).substr(0, tags.size() - 30));

    const struct {
        const char* what;
        std::vector<std::string> paths;
        std::size_t chunkSize;
    } cases[] = {
        {"a plain capture", {folder.File("plain.bin")}, 64},
        {"a recorded side", {folder.File("rec/listener.raw")}, 64},
        {"a recording folder", {folder.File("rec")}, 64},
        {"a recording cut short, then a plain capture", {folder.File("cut/side.raw"), folder.File("plain.bin")}, 700},
    };
    for (const auto& c : cases) {
        const sDecoded whole = DecodedWhole(c.paths, c.chunkSize);
        ASSERT_GT(whole.lines.size(), bytes.size() / 20) << c.what << ": the listing has many entries";
        for (const std::size_t readBlock : {std::size_t(7), std::size_t(4096), TolvarRT::CFileBlocks::kBlock}) {
            SCOPED_TRACE(std::string(c.what) + ", read in blocks of " + std::to_string(readBlock));
            const sDecoded streamed = DecodedStreaming(c.paths, c.chunkSize, readBlock);
            EXPECT_EQ(streamed.text, whole.text);
            EXPECT_EQ(streamed.json, whole.json);
            EXPECT_TRUE(streamed.lines == whole.lines) << "the frame lines differ";
            EXPECT_EQ(streamed.notes, whole.notes);
        }
    }
    EXPECT_NE(DecodedWhole({folder.File("cut")}, 64).notes.find("the recording was cut short"), std::string::npos);
}

// The listing leaves an entry once it is beyond the decoders' reach; with a
// reach as long as the stream nothing leaves before the end.
TEST(DecodeStreamTest, EntriesLeftBehindByTheDecodersAreFinal)
{
    const std::vector<std::uint8_t> stream = LongStream();
    ASSERT_GT(stream.size(), 2 * TolvarRT::CLostByteTally::kWindow);
    for (const std::size_t chunk : {std::size_t(1), std::size_t(1024), std::size_t(65536)}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunk));
        cli::sDecodeOptions bounded;
        bounded.chunkSize = chunk;
        cli::sDecodeOptions unbounded = bounded;
        unbounded.reach = stream.size();
        const cli::sDecodeResult expected = cli::DecodeStreams({stream}, unbounded);
        const cli::sDecodeResult result = cli::DecodeStreams({stream}, bounded);
        EXPECT_TRUE(cli::FrameLines(result) == cli::FrameLines(expected)) << "the frame lines differ";
        EXPECT_EQ(result.unclaimedBytes, expected.unclaimedBytes);
    }
}

}  // namespace
