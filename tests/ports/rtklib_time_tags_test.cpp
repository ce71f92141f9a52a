// RTKLIB's binary time-tag file beside a recorded side: read as the chunks it
// was written in, cut or damaged files said or refused, written beside our
// own recordings, and the FILE: port's options as RTKLIB's file streams take
// them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "log_recorder.h"
#include "port_collector.h"
#include "ports/byte_pipe.h"
#include "ports/recording/file_replay_port.h"
#include "ports/recording/recorded_side.h"
#include "ports/recording/rtklib_time_tags.h"
#include "ports/recording/stream_recorder.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Chunks = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
using testing::TempFolder;

// Written by Debian's str2str 2.4.3 b34 (-out file://rec.bin::T) for 3000
// bytes and then 2000 more: a write of nothing at 101 ms, then the data
// file's length 3000 at 301 ms and 5000 at 315 ms.
const Bytes kStr2strTags = {0x54, 0x49, 0x4d, 0x45, 0x54, 0x41, 0x47, 0x20, 0x52, 0x54, 0x4b, 0x4c, 0x49, 0x42, 0x20,
                            0x32, 0x2e, 0x34, 0x2e, 0x33, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x91, 0xf2, 0xb6, 0x00, 0xa1, 0xbf, 0x17, 0x6b, 0x00, 0x7b, 0x85, 0x05, 0xf7, 0x03, 0xdc,
                            0x3f, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2d, 0x01, 0x00, 0x00, 0xb8, 0x0b,
                            0x00, 0x00, 0x3b, 0x01, 0x00, 0x00, 0x88, 0x13, 0x00, 0x00};
constexpr std::size_t kStr2strData = 5000;

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A side of dataLength bytes with these tags beside it as PATH.tag.
std::string WriteSide(const TempFolder& folder, std::size_t dataLength, const Bytes& tags)
{
    const std::string data = folder.File("rec.bin");
    Bytes bytes(dataLength);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 7);
    WriteFile(data, bytes);
    WriteFile(data + ".tag", tags);
    return data;
}

TEST(RtklibTimeTagsTest, AStr2strRecordingIsReadInTheChunksItWrote)
{
    TempFolder folder;
    const std::string data = WriteSide(folder, kStr2strData, kStr2strTags);
    sRecordedSide side;
    std::string error;
    ASSERT_TRUE(ReadRecordedSide(data, side, error)) << error;
    EXPECT_TRUE(side.timed);
    EXPECT_TRUE(side.tags.rtklib);
    EXPECT_EQ(side.leftOut, "");
    EXPECT_EQ(side.bytes, ReadFile(data));
    // A record holds where its chunk ends; the write of nothing is no chunk.
    EXPECT_EQ(side.chunks, (Chunks{{0, 3000}, {3000, 5000}}));
    ASSERT_EQ(side.tags.tags.size(), 2u);
    // Each chunk at the time of the record that ends it.
    EXPECT_EQ(side.tags.tags[0].offset, 0u);
    EXPECT_EQ(side.tags.tags[0].nanoseconds, 301000000);
    EXPECT_EQ(side.tags.tags[1].offset, 3000u);
    EXPECT_EQ(side.tags.tags[1].nanoseconds, 315000000);
    // Opened on 2026-12-08 at 08:27:59 UTC (GPS time 18 s ahead), in days
    // since 1899-12-30 in whatever zone the test runs.
    EXPECT_NEAR(side.tags.clock.date, 46364.352, 0.6);
    EXPECT_NEAR(side.tags.clock.unixSeconds, 1796718479.437742, 1e-6);
}

TEST(RtklibTimeTagsTest, ACutRecordingIsUsedUpToItsLastWholeChunkAndSaysWhatWasLeftOut)
{
    Bytes tornRecord(kStr2strTags.begin(), kStr2strTags.end() - 3);
    const struct {
        const char* name;
        std::size_t dataLength;
        Bytes tags;
        Chunks chunks;
        std::string leftOut;
    } cases[] = {
        {"a torn last record",
         kStr2strData,
         tornRecord,
         {{0, 3000}},
         "the recording was cut short; using its first 3000 bytes in 1 chunk, leaving out 2000 bytes and 0 time tags "
         "after them and a torn last time-tag record"},
        {"data cut inside the last chunk",
         4000,
         kStr2strTags,
         {{0, 3000}},
         "the recording was cut short; using its first 3000 bytes in 1 chunk, leaving out 1000 bytes and 1 time tag "
         "after them"},
        {"data that no record covers",
         5500,
         kStr2strTags,
         {{0, 3000}, {3000, 5000}},
         "the recording was cut short; using its first 5000 bytes in 2 chunks, leaving out 500 bytes and 0 time tags "
         "after them"},
        {"no record at all",
         10,
         Bytes(kStr2strTags.begin(), kStr2strTags.begin() + kRtklibTagHeadLength),
         {},
         "the recording was cut short; using its first 0 bytes in 0 chunks, leaving out 10 bytes and 0 time tags "
         "after them"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string data = WriteSide(folder, c.dataLength, c.tags);
        sRecordedSide side;
        std::string error;
        ASSERT_TRUE(ReadRecordedSide(data, side, error)) << error;
        EXPECT_EQ(side.chunks, c.chunks);
        EXPECT_EQ(side.leftOut, data + ": " + c.leftOut);
    }
}

TEST(RtklibTimeTagsTest, DamagedTagFilesAreRefusedWithWhatIsWrong)
{
    Bytes falling = kStr2strTags;
    // The last length 16, below the 3000 before it.
    falling[kStr2strTags.size() - 4] = 0x10;
    falling[kStr2strTags.size() - 3] = 0x00;
    Bytes timeFalls = kStr2strTags;
    timeFalls[kStr2strTags.size() - 8] = 0x00;  // the last tick 256 ms, before 301 ms
    const struct {
        const char* name;
        Bytes tags;
        std::string reason;
    } cases[] = {
        {"a length that falls", falling, "rec.bin.tag: record 3: lengths and times must not fall"},
        {"a time that falls", timeFalls, "rec.bin.tag: record 3: lengths and times must not fall"},
        {"a head cut short", Bytes(kStr2strTags.begin(), kStr2strTags.begin() + 40),
         "rec.bin.tag: the head is cut short"},
        {"something else", Bytes{'T', 'I', 'M', 'E', '\n'}, "rec.bin.tag: line 1: not a time-tag file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string data = WriteSide(folder, kStr2strData, c.tags);
        sRecordedSide side;
        std::string error;
        EXPECT_FALSE(ReadRecordedSide(data, side, error));
        EXPECT_EQ(error, folder.File(c.reason));
        testing::PortCollector collector;
        CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
        EXPECT_FALSE(port.Open(("FILE:" + data + "::T").c_str()));
        EXPECT_EQ(port.FailureReason(), error) << "the port refuses it for the same reason";
    }
}

TEST(RtklibTimeTagsTest, OurOwnTimeTagsComeFirstWhenBothLieBeside)
{
    TempFolder folder;
    const std::string data = WriteSide(folder, kStr2strData, kStr2strTags);
    std::ofstream(folder.File("rec.tags")) << "tolvar-time-tags 2\nsession 1\norigin-date 1\n0 5\n10 6\nend 5000\n";
    EXPECT_EQ(FindTimeTagPath(data), folder.File("rec.tags"));
    sRecordedSide side;
    std::string error;
    ASSERT_TRUE(ReadRecordedSide(data, side, error)) << error;
    EXPECT_FALSE(side.tags.rtklib);
    EXPECT_EQ(side.chunks, (Chunks{{0, 10}, {10, 5000}}));
}

TEST(RtklibTimeTagsTest, ARecorderWritesTagsThatReadBackAsItsOwn)
{
    TempFolder folder;
    const sRecordingClock clock = StartRecordingClock();
    CLogPipe logPipe;
    CBytePipeSubscription pipe{&logPipe};
    std::string error;
    CStreamRecorder listener;
    CStreamRecorder source;
    ASSERT_TRUE(listener.Start(folder.File("listener.raw"), folder.File("listener.tags"), clock, error,
                               folder.File("listener.raw.tag")))
        << error;
    ASSERT_TRUE(source.Start(folder.File("source.raw"), folder.File("source.tags"), clock, error,
                             folder.File("source.raw.tag")))
        << error;
    listener.Subscribe(&pipe);
    pipe.PublishStampedBytes(Bytes{1, 2, 3}.data(), 3, StampAfter(clock.origin, 5000000));
    pipe.PublishStampedBytes(Bytes{4, 5}.data(), 2, StampAfter(clock.origin, 2000700000));
    listener.Unsubscribe();
    ASSERT_TRUE(listener.Stop());
    ASSERT_TRUE(source.Stop());

    const Bytes tags = ReadFile(folder.File("listener.raw.tag"));
    ASSERT_EQ(tags.size(), kRtklibTagHeadLength + 2 * 8);
    EXPECT_EQ(std::string(tags.begin(), tags.begin() + 20), "TIMETAG RTKLIB 2.4.3");
    // Milliseconds from the opening, then the length after the chunk.
    EXPECT_EQ(Bytes(tags.begin() + kRtklibTagHeadLength, tags.end()),
              (Bytes{5, 0, 0, 0, 3, 0, 0, 0, 0xd0, 0x07, 0, 0, 5, 0, 0, 0}));
    // Both sides of one recording are one session for a replay.
    std::uint64_t listenerSession = 0;
    std::uint64_t sourceSession = 1;
    ASSERT_TRUE(ReadRtklibSession(folder.File("listener.raw.tag"), listenerSession));
    ASSERT_TRUE(ReadRtklibSession(folder.File("source.raw.tag"), sourceSession));
    EXPECT_EQ(listenerSession, sourceSession);

    std::filesystem::remove(folder.File("listener.tags"));
    sRecordedSide side;
    ASSERT_TRUE(ReadRecordedSide(folder.File("listener.raw"), side, error)) << error;
    EXPECT_TRUE(side.tags.rtklib);
    EXPECT_EQ(side.chunks, (Chunks{{0, 3}, {3, 5}}));
    ASSERT_EQ(side.tags.tags.size(), 2u);
    EXPECT_EQ(side.tags.tags[1].nanoseconds, 2000000000);
    EXPECT_NEAR(side.tags.clock.date, clock.date, 1.0 / 86400) << "the opening's time of day, to the second";
    EXPECT_NEAR(side.tags.clock.unixSeconds, clock.unixSeconds, 1e-6) << "the opening's UTC, to the microsecond";
}

TEST(RtklibTimeTagsTest, TheReplayNameTakesRtklibFileOptions)
{
    sReplayName parsed;
    std::string error;
    ASSERT_TRUE(ParseReplayName("FILE:a::b.raw::T::x4::+2.5", parsed, error)) << error;
    EXPECT_EQ(parsed.path, "a::b.raw");
    EXPECT_TRUE(parsed.timeTags);
    EXPECT_DOUBLE_EQ(parsed.speed, 4.0);
    EXPECT_DOUBLE_EQ(parsed.startSeconds, 2.5);
    ASSERT_TRUE(ParseReplayName("FILE:rec.bin::+1::T", parsed, error)) << error;
    EXPECT_EQ(parsed.path, "rec.bin");
    EXPECT_FALSE(parsed.speedGiven);
    EXPECT_FALSE(ParseReplayName("FILE:rec.bin::+soon", parsed, error));
    EXPECT_EQ(error, "the start after ::+ is not a number of seconds from 0 up");

    TempFolder folder;
    std::ofstream(folder.File("plain.bin")) << "abc";
    for (const char* options : {"::T", "::+1"}) {
        testing::PortCollector collector;
        CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
        EXPECT_FALSE(port.Open(("FILE:" + folder.File("plain.bin") + options).c_str()));
        EXPECT_EQ(port.FailureReason(), folder.File("plain.bin") + ": no time tags beside it (" +
                                            folder.File("plain.tags") + " or " + folder.File("plain.bin.tag") + ")");
    }
}

TEST(RtklibTimeTagsTest, AStartIntoTheRecordingLeavesOutTheChunksBeforeIt)
{
    TempFolder folder;
    const std::string data = WriteSide(folder, kStr2strData, kStr2strTags);
    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    testing::PortCollector collector;
    CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    port.SetLogPipe(&logPipe);
    ASSERT_TRUE(port.Open(("file:" + data + "::T::+0.31::x0").c_str())) << port.FailureReason();
    CReplaySession::StartAll();
    port.StartThread();
    ASSERT_TRUE(testing::WaitUntil([&] { return port.Finished(); }));
    const Bytes all = ReadFile(data);
    EXPECT_EQ(collector.Received(), Bytes(all.begin() + 3000, all.end()));
    EXPECT_EQ(log.Count(data + ": starting 0.31 s into the recording, leaving out the 1 chunk recorded before"), 1u);
}

}  // namespace
}  // namespace TolvarRT
