// The RTCM v3 decoder of a port: frames found in every chunking, the log line,
// the on/off switch, restarts, and an exact account of every byte (each one in
// a published frame or in one lost report, in stream order).
#include <gtest/gtest.h>

#include <gmock/gmock.h>
#include "log_recorder.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "chunked_feed.h"
#include "decoders/rtcm3_input_handler.h"
#include "fake_byte_pipe.h"
#include "manifest_frames.h"
#include "rtcm3_frame_builder.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct PublishedFrame {
    unsigned type;
    Bytes payload;
    TimeStamp timeStamp;
    std::size_t lostReportsBefore;  // how many lost reports had come in by then
};

class FrameRecorder : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    explicit FrameRecorder(const testing::FakeBytePipe& bytePipe) : pipe(bytePipe) {}
    ~FrameRecorder() override { Unsubscribe(); }
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TimeStamp& timeStamp) override
    {
        frames.push_back({type, Bytes(data, data + length), timeStamp, pipe.lost.size()});
    }
    const testing::FakeBytePipe& pipe;
    std::vector<PublishedFrame> frames;
};

// A handler on a fake byte pipe, with a frame recorder on the handler.
struct Harness {
    explicit Harness(std::uint32_t firstIndex = 0) : startIndex(firstIndex)
    {
        pipe.runningIndex = firstIndex;
        handler.Subscribe(&pipe);
        recorder.Subscribe(&handler);
    }

    void Feed(const Bytes& bytes, std::size_t chunkSize = 0)
    {
        fed.insert(fed.end(), bytes.begin(), bytes.end());
        pipe.Feed(bytes, chunkSize);
    }
    void FeedRandomPieces(const Bytes& bytes, unsigned seed)
    {
        auto from = bytes.begin();
        for (const std::size_t piece : testing::RandomPieces(bytes.size(), seed, 300)) {
            Feed(Bytes(from, from + long(piece)));
            from += long(piece);
        }
    }
    // Makes the handler give up whatever still waits: a chunk while disabled
    // reports it lost, then that chunk's own byte.
    void Finish()
    {
        handler.SetEnabled(false);
        Feed(Bytes{0x00});
        handler.SetEnabled(true);
    }

    // Walks the lost reports and the frames in stream order and returns how
    // many of the fed bytes they cover; any gap, overlap or frame that is not
    // where the stream has it fails the test.
    std::size_t Accounted() const
    {
        std::size_t covered = 0;
        std::size_t report = 0;
        const auto takeReportsUpTo = [&](std::size_t end) {
            for (; report < end; ++report) {
                const auto [firstIndex, count] = pipe.lost[report];
                EXPECT_EQ(firstIndex, std::uint32_t(startIndex + covered)) << "lost report " << report;
                EXPECT_GT(count, 0u) << "lost report " << report;
                covered += count;
            }
        };
        for (std::size_t i = 0; i < recorder.frames.size(); ++i) {
            const PublishedFrame& frame = recorder.frames[i];
            takeReportsUpTo(frame.lostReportsBefore);
            const std::size_t size = frame.payload.size() + 6;
            if (covered + size > fed.size()) {
                ADD_FAILURE() << "frame " << i << " runs past the bytes fed";
                return covered;
            }
            EXPECT_EQ(fed[covered], 0xD3) << "frame " << i;
            EXPECT_EQ(((fed[covered + 1] & 0x03u) << 8) | fed[covered + 2], frame.payload.size()) << "frame " << i;
            EXPECT_TRUE(std::equal(frame.payload.begin(), frame.payload.end(), fed.begin() + long(covered + 3)))
                << "frame " << i;
            covered += size;
        }
        takeReportsUpTo(pipe.lost.size());
        EXPECT_LE(covered, fed.size());
        return covered;
    }

    std::vector<std::pair<unsigned, std::size_t>> TypesAndLengths() const
    {
        std::vector<std::pair<unsigned, std::size_t>> result;
        for (const auto& frame : recorder.frames)
            result.emplace_back(frame.type, frame.payload.size());
        return result;
    }

    const std::uint32_t startIndex;
    testing::FakeBytePipe pipe;
    CRTCM3InputHandler handler;
    FrameRecorder recorder{pipe};
    Bytes fed;
};

Bytes Garbage(std::size_t length, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& byte : bytes) {
        do
            byte = std::uint8_t(random());
        while (byte == 0xD3);
    }
    return bytes;
}

using testing::Join;

Bytes WithBitFlipped(Bytes frame, std::size_t byte, unsigned bit)
{
    frame[byte] ^= std::uint8_t(1u << bit);
    return frame;
}

using TolvarRT::testing::rtcm3_reference::Frame;

// The ways a port may cut a stream into chunks.
struct Chunking {
    const char* name;
    std::function<void(Harness&, const Bytes&)> feed;
};

const std::vector<Chunking>& Chunkings()
{
    static const std::vector<Chunking> chunkings{
        {"whole", [](Harness& h, const Bytes& b) { h.Feed(b); }},
        {"byte by byte", [](Harness& h, const Bytes& b) { h.Feed(b, 1); }},
        {"7 bytes", [](Harness& h, const Bytes& b) { h.Feed(b, 7); }},
        {"129 bytes", [](Harness& h, const Bytes& b) { h.Feed(b, 129); }},
        {"random pieces", [](Harness& h, const Bytes& b) { h.FeedRandomPieces(b, 99); }},
        {"random pieces again", [](Harness& h, const Bytes& b) { h.FeedRandomPieces(b, 4242); }},
    };
    return chunkings;
}

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<std::pair<unsigned, std::size_t>> expected;  // type and payload length of each frame
    std::size_t waiting;                                     // trailing bytes that may still start a frame
};

TEST(Rtcm3InputHandler, FindsTheFramesOfEachStreamInEveryChunking)
{
    const Bytes longOne = Frame(1077, 300, 0, 5);
    const std::vector<StreamCase> cases{
        {"station data 1005", Frame(1005, 19), {{1005, 19}}, 0},
        {"just over the old limit of 240", Frame(1077, 241), {{1077, 241}}, 0},
        {"an MSM-sized 500", Frame(1127, 500), {{1127, 500}}, 0},
        {"the longest, 1023", Frame(4072, 1023), {{4072, 1023}}, 0},
        {"empty payload", Frame(0, 0), {{0, 0}}, 0},
        {"reserved bits all set", Frame(1004, 100, 0x3F), {{1004, 100}}, 0},
        {"reserved bits mixed", Frame(1230, 30, 0x15), {{1230, 30}}, 0},
        {"two frames in one chunk, in order", Join({Frame(1004, 150), Frame(1012, 90)}), {{1004, 150}, {1012, 90}}, 0},
        {"garbage between frames",
         Join({Garbage(40, 1), Frame(1019, 61), Garbage(300, 2), Frame(1020, 45)}),
         {{1019, 61}, {1020, 45}},
         0},
        {"0xD3 in garbage, then a frame",
         Join({Bytes{0x00, 0xD3, 0x00, 0x05, 0x11, 0x22}, Frame(1005, 19)}),
         {{1005, 19}},
         0},
        {"a frame inside a rejected one",
         Join({Bytes{0xD3, 0x00, 0x40, 0x01, 0x02}, Frame(1006, 21), Garbage(60, 3)}),
         {{1006, 21}},
         0},
        {"a frame inside a rejected 1000-byte one",
         Join({Bytes{0xD3, 0x03, 0xE8}, longOne, Garbage(800, 4)}),
         {{1077, 300}},
         0},
        {"a bad CRC on a 241-byte frame",
         Join({WithBitFlipped(Frame(1077, 241, 0, 6), 100, 3), Garbage(300, 5)}),
         {},
         0},
        {"a bad CRC byte on the longest frame",
         Join({WithBitFlipped(Frame(1127, 1023, 0, 7), 1028, 0), Garbage(1100, 6)}),
         {},
         0},
        {"a frame still arriving at the end", Join({Frame(1033, 40), Bytes{0xD3, 0x00, 0x30, 0x41}}), {{1033, 40}}, 4},
        {"garbage only", Garbage(5000, 8), {}, 0},
    };
    for (const StreamCase& streamCase : cases) {
        for (const Chunking& chunking : Chunkings()) {
            SCOPED_TRACE(std::string(streamCase.name) + ", fed " + chunking.name);
            Harness harness;
            chunking.feed(harness, streamCase.stream);
            EXPECT_EQ(harness.TypesAndLengths(), streamCase.expected);
            EXPECT_EQ(harness.Accounted(), streamCase.stream.size() - streamCase.waiting);
            harness.Finish();
            EXPECT_EQ(harness.Accounted(), harness.fed.size());
        }
    }
}

TEST(Rtcm3InputHandler, PublishesAFrameSplitAnywhereOnceWithTheSecondChunksTimeStamp)
{
    for (const std::size_t payloadLength : {std::size_t(19), std::size_t(1023)}) {
        const Bytes stream = Join({Garbage(3, 9), Frame(1005, payloadLength)});
        for (std::size_t split = 1; split < stream.size(); ++split) {
            SCOPED_TRACE("length " + std::to_string(payloadLength) + ", split at " + std::to_string(split));
            Harness harness;
            harness.Feed(Bytes(stream.begin(), stream.begin() + long(split)));
            ASSERT_TRUE(harness.recorder.frames.empty());
            ASSERT_EQ(harness.Accounted(), std::min<std::size_t>(split, 3));
            const TimeStamp secondChunk = harness.pipe.nextTimeStamp;
            harness.Feed(Bytes(stream.begin() + long(split), stream.end()));
            ASSERT_EQ(harness.recorder.frames.size(), 1u);
            EXPECT_EQ(harness.recorder.frames[0].type, 1005u);
            EXPECT_EQ(harness.recorder.frames[0].timeStamp, secondChunk);
            ASSERT_EQ(harness.Accounted(), stream.size());
        }
    }
}

// A stray 0xD3 whose length runs past the bytes received must not hold the
// frames behind it: each is out with the chunk holding its last byte, and the
// stray bytes are reported lost once, before it.
class HeldFrames : public ::testing::TestWithParam<testing::StrayBeforeFrames> {};

TEST_P(HeldFrames, ArePublishedWithTheChunkThatCompletesThem)
{
    const testing::StrayBeforeFrames& c = GetParam();
    for (const std::size_t chunk : testing::kPortChunkSizes) {
        SCOPED_TRACE(std::string(c.what) + ", chunks of " + std::to_string(chunk));
        Harness harness;
        harness.Feed(c.Stream(), chunk);
        ASSERT_EQ(harness.recorder.frames.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i)
            EXPECT_EQ(harness.recorder.frames[i].timeStamp, c.StampOfFrame(i, chunk)) << "frame " << i;
        EXPECT_EQ(testing::MergedLost(harness.pipe), c.Lost());
        EXPECT_EQ(harness.Accounted(), harness.fed.size());
    }
}

INSTANTIATE_TEST_SUITE_P(StrayPreamble, HeldFrames,
                         ::testing::Values(testing::StrayBeforeFrames{"field report",
                                                                      {0xD3, 0x03, 0xFF, 0x01, 0x02, 0x03},
                                                                      {Frame(1005, 19)}},
                                           testing::StrayBeforeFrames{"a stray inside a stray",
                                                                      {0xD3, 0x03, 0xFF, 0x01, 0xD3, 0x00, 0x40, 0xD3},
                                                                      {Frame(1077, 100, 0, 5), Frame(1005, 19)}},
                                           testing::StrayBeforeFrames{"an empty frame, then a long one",
                                                                      {0xD3, 0x02, 0x00},
                                                                      {Frame(0, 0), Frame(1230, 500, 0x3F, 9)}}),
                         testing::CaseName<testing::StrayBeforeFrames>);

// Regression test for a ring that was written without looking at its free
// space: one port chunk of many short frames overwrote frames not yet read.
TEST(Rtcm3InputHandler, DeliversEveryFrameOfAChunkFarLargerThanItsRing)
{
    Bytes stream;
    std::vector<std::pair<unsigned, std::size_t>> expected;
    for (unsigned i = 0; stream.size() < 200000; ++i) {
        const std::size_t length = i % 7 == 0 ? 1023 : i % 4;
        const unsigned type = length >= 2 ? 1001 + i % 200 : 0;
        const Bytes frame = Frame(type, length, 0, i);
        stream.insert(stream.end(), frame.begin(), frame.end());
        expected.emplace_back(length >= 2 ? type : length == 1 ? (type >> 4) << 4 : 0, length);
    }
    Harness harness;
    harness.Feed(stream);
    EXPECT_EQ(harness.TypesAndLengths(), expected);
    EXPECT_EQ(harness.Accounted(), stream.size());
    EXPECT_TRUE(harness.pipe.lost.empty());
}

TEST(Rtcm3InputHandler, ReportsEveryChunkLostWhileDisabledAndDropsAFrameCutByTheSwitch)
{
    Harness harness;
    EXPECT_TRUE(harness.handler.IsEnabled());
    const Bytes frame = Frame(1005, 19);

    harness.Feed(Bytes(frame.begin(), frame.begin() + 10));  // waits in the ring
    harness.handler.SetEnabled(false);
    EXPECT_FALSE(harness.handler.IsEnabled());
    harness.Feed(Bytes(frame.begin() + 10, frame.end()));
    harness.Feed(frame, 5);
    EXPECT_TRUE(harness.recorder.frames.empty());
    EXPECT_EQ(harness.Accounted(), harness.fed.size()) << "disabled chunks and the cut frame are lost";

    // Switched on in the middle of a frame: its tail is garbage, the next one is found.
    harness.handler.SetEnabled(true);
    harness.Feed(Bytes(frame.begin() + 4, frame.end()));
    harness.Feed(Frame(1006, 21));
    EXPECT_EQ(harness.TypesAndLengths(), (std::vector<std::pair<unsigned, std::size_t>>{{1006, 21}}));
    EXPECT_EQ(harness.Accounted(), harness.fed.size());
}

TEST(Rtcm3InputHandler, ChunkAtRunningIndexZeroDiscardsAPartialFrameAndReportsItOnce)
{
    Harness harness;
    const Bytes frame = Frame(1005, 19);
    harness.Feed(Bytes(frame.begin(), frame.begin() + 12));
    ASSERT_TRUE(harness.pipe.lost.empty());

    // A new stream: its first chunk would otherwise complete the old frame.
    harness.pipe.runningIndex = 0;
    harness.pipe.Feed(Bytes(frame.begin() + 12, frame.end()));
    harness.pipe.Feed(frame);
    ASSERT_EQ(harness.recorder.frames.size(), 1u);
    EXPECT_EQ(harness.recorder.frames[0].timeStamp, harness.pipe.nextTimeStamp - 1);
    using Report = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(harness.pipe.lost, (std::vector<Report>{{0, 12}, {0, std::uint32_t(frame.size() - 12)}}));
}

TEST(Rtcm3InputHandler, KeepsItsAccountAcrossTheWrapOfTheRunningIndex)
{
    // The index passes 2^32 between two chunks; the chunk at index 0 counts as
    // a new stream and drops the frame that was arriving.
    Harness harness(0xFFFFFFF0u);
    const Bytes stream = Join({Frame(1004, 40), Frame(1012, 30), Frame(1019, 61)});
    harness.Feed(stream, 8);
    EXPECT_EQ(harness.TypesAndLengths(), (std::vector<std::pair<unsigned, std::size_t>>{{1012, 30}, {1019, 61}}));
    harness.Finish();
    EXPECT_EQ(harness.Accounted(), harness.fed.size());
}

using testing::LogRecorder;

TEST(Rtcm3InputHandler, LogsEachFrameWithItsLengthTypeAndTimeThenDumpsItAtAll)
{
    CLogPipe logPipe;
    LogRecorder sink(nullptr, kLogAll);
    sink.Subscribe(&logPipe);
    logPipe.RaiseSinkLevel();
    Harness harness;
    harness.handler.log.Attach(&logPipe);
    harness.handler.SetName("GPS");

    const Bytes frame = Frame(1005, 19);
    harness.Feed(frame);
    ASSERT_EQ(sink.Lines().size(), 2u);
    char expected[100];
    std::snprintf(expected, sizeof expected, "GPS Receive RTCM v3 Frame Length 19, Type 1005, Time %0.3f",
                  SecondsSinceStart(harness.recorder.frames.at(0).timeStamp));
    EXPECT_EQ(sink.Lines()[0], expected);
    EXPECT_THAT(sink.Lines()[1], StartsWith("\r\nRTCM v3 Data = ["));
    char firstBytes[16];
    std::snprintf(firstBytes, sizeof firstBytes, "[%02X %02X ", frame[3], frame[4]);
    EXPECT_THAT(sink.Lines()[1], HasSubstr(firstBytes)) << "the dump shows the payload";

    sink.level = kLogBasic;
    harness.Feed(frame);
    ASSERT_EQ(sink.Lines().size(), 3u) << "no dump below All";
    EXPECT_THAT(sink.Lines()[2], HasSubstr("Frame Length 19, Type 1005"));
}

// The document switches decoding from its own thread while a port delivers.
TEST(Rtcm3InputHandler, KeepsAnExactAccountWhileSwitchedFromAnotherThread)
{
    Bytes stream;
    for (unsigned i = 0; stream.size() < 100000; ++i) {
        const Bytes frame = Frame(1001 + i % 100, 10 + i * 37 % 600, 0, i);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    Harness harness;
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (unsigned i = 0; !done.load(); ++i) {
            harness.handler.SetEnabled(i % 2 == 0);
            harness.handler.SetName(i % 2 == 0 ? "GPS" : "");
            std::this_thread::yield();
        }
    });
    harness.Feed(stream, 333);
    done = true;
    switcher.join();
    harness.handler.SetEnabled(true);
    harness.Finish();
    EXPECT_EQ(harness.Accounted(), harness.fed.size());
}

class Rtcm3Captures : public ::testing::TestWithParam<const char*> {};

TEST_P(Rtcm3Captures, GiveTheManifestsCountsInEveryChunking)
{
    const Bytes capture = testing::ReadCapture(GetParam());
    const auto expected = testing::ManifestFrames(GetParam());
    ASSERT_FALSE(expected.empty()) << "no counts in the manifest";
    for (const std::size_t chunkSize :
         {std::size_t(1), std::size_t(7), std::size_t(64), std::size_t(1024), capture.size()}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunkSize));
        Harness harness;
        harness.Feed(capture, chunkSize);
        std::map<std::string, std::uint64_t> counts;
        for (const auto& frame : harness.recorder.frames)
            ++counts["RTCM v3 Type " + std::to_string(frame.type)];
        EXPECT_EQ(counts, expected);
        EXPECT_EQ(harness.Accounted(), capture.size());
    }
}

INSTANTIATE_TEST_SUITE_P(RealReceivers, Rtcm3Captures,
                         ::testing::Values("testglo.rtcm3", "rtcm3-1.log", "ublox-f9p-rtcm.log",
                                           "pygpsdata-MIXED-RTCM3BADCRC.log", "pygpsdata-NTRIP-USCL00CHL0.log"),
                         [](const auto& info) { return testing::NameFromText(info.param); });

}  // namespace
}  // namespace TolvarRT
