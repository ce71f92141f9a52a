// The ATS decoder: frame cutting in any chunking, the on/off switch, lost-byte
// accounting, and the generated frames of the fake ATS generator.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "chunked_feed.h"
#include "decoders/ats_input_handler.h"
#include "fake_byte_pipe.h"

namespace TolvarRT {
namespace {

using testing::FakeBytePipe;
using testing::LostRuns;
using Bytes = std::vector<std::uint8_t>;

struct Frame {
    unsigned type;
    Bytes data;
    TimeStamp timeStamp;
    bool operator==(const Frame&) const = default;
};

class Recorder : public TSubscriber<IIncommingATSPipe> {
public:
    ~Recorder() override { Unsubscribe(); }
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& timeStamp) override
    {
        frames.push_back({type, Bytes(data, data + length), timeStamp});
    }
    std::vector<Frame> frames;
};

// A decoder on a fake pipe, switched on, with a recorder on its frames.
struct Rig {
    Rig()
    {
        decoder.Subscribe(&pipe);
        recorder.Subscribe(&decoder);
        decoder.SetEnabled(true);
    }
    FakeBytePipe pipe;
    CATSInputHandler decoder;
    Recorder recorder;
};

std::uint64_t FramedBytes(const std::vector<Frame>& frames)
{
    std::uint64_t total = 0;
    for (const Frame& frame : frames)
        total += frame.data.size();
    return total;
}

TEST(ATSDecoder, OffReportsEveryChunkLost)
{
    Rig rig;
    rig.decoder.SetEnabled(false);
    EXPECT_FALSE(rig.decoder.IsEnabled());
    rig.pipe.Feed(Bytes{0x80, 0x06, 0x12, 0x04});
    rig.pipe.Feed(Bytes{0x80, 0x04});
    EXPECT_TRUE(rig.recorder.frames.empty());
    EXPECT_EQ(rig.pipe.lost, (LostRuns{{0, 4}, {4, 2}}));
}

TEST(ATSDecoder, OneChunk)
{
    struct Case {
        Bytes stream;
        Bytes frame;  // the one frame published
        LostRuns lost;
    };
    const Case cases[] = {
        {{0x80, 0x06, 0x12, 0x04}, {0x80, 0x06, 0x12, 0x04}, {}},
        // Garbage on either side is reported once a run.
        {{0x11, 0x22, 0x80, 0x06, 0x04, 0x33}, {0x80, 0x06, 0x04}, {{0, 2}, {5, 1}}},
        // Regression: the decoder started as if a frame were open; bytes
        // before the first 0x80 never form a frame.
        {{0x11, 0x04, 0x80, 0x01, 0x04}, {0x80, 0x01, 0x04}, {{0, 2}}},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.pipe.Feed(c.stream);
        EXPECT_EQ(rig.recorder.frames, (std::vector<Frame>{{0, c.frame, 1000}}));
        EXPECT_EQ(rig.pipe.lost, c.lost);
    }
}

TEST(ATSDecoder, FramesCloseAt256Bytes)
{
    for (const bool startByteInTail : {false, true}) {
        Rig rig;
        Bytes stream{0x80};
        stream.insert(stream.end(), 300, 0x55);
        if (startByteInTail)
            stream[280] = 0x80;
        rig.pipe.Feed(stream);
        ASSERT_EQ(rig.recorder.frames.size(), 1u);
        EXPECT_EQ(rig.recorder.frames[0].data, Bytes(stream.begin(), stream.begin() + 256));
        // The 45 bytes behind it are unclaimed, up to a 0x80 that opens the
        // next frame.
        EXPECT_EQ(rig.pipe.lost, (LostRuns{{256, startByteInTail ? 24u : 45u}}));
    }
}

// Regression test for collected bytes dropped at a chunk boundary: a frame
// split anywhere is published whole, with the time stamp of its last chunk.
TEST(ATSDecoder, FrameSplitAnywhereIsPublishedWhole)
{
    const Bytes stream{0x11, 0x80, 0x06, 0x12, 0x80, 0x34, 0x04, 0x22, 0x23};
    for (std::size_t split = 1; split < stream.size(); ++split) {
        Rig rig;
        testing::FeedPieces(rig.pipe, stream, {split, stream.size() - split});
        const TimeStamp stamp = split <= 6 ? 1001 : 1000;
        EXPECT_EQ(rig.recorder.frames, (std::vector<Frame>{{0, {0x80, 0x06, 0x12, 0x80, 0x34, 0x04}, stamp}})) << split;
        EXPECT_EQ(testing::MergedLost(rig.pipe), (LostRuns{{0, 1}, {7, 2}})) << split;
    }
}

TEST(ATSDecoder, SwitchingDropsAnOpenFrame)
{
    Rig rig;
    rig.pipe.Feed(Bytes{0x80, 0x01, 0x02});
    rig.decoder.SetEnabled(false);
    rig.decoder.SetEnabled(true);
    rig.pipe.Feed(Bytes{0x03, 0x04, 0x80, 0x05, 0x04});
    EXPECT_EQ(rig.recorder.frames, (std::vector<Frame>{{0, {0x80, 0x05, 0x04}, 1001}}));
    EXPECT_EQ(testing::MergedLost(rig.pipe), (LostRuns{{0, 5}}));
}

// Random streams rich in start and end bytes, with frames longer than the
// limit: the same frames and lost runs in every chunking, and every byte is
// either in a frame or lost.
TEST(ATSDecoder, AnyChunkingGivesTheSameResult)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        Bytes stream(2000);
        for (auto& byte : stream) {
            const unsigned pick = random() % 100;
            byte = pick < 3 ? 0x80 : pick < 5 ? 0x04 : std::uint8_t(random());
        }
        Rig whole;
        whole.pipe.Feed(stream);
        // Switching off and feeding one more byte settles a frame left open.
        whole.decoder.SetEnabled(false);
        whole.pipe.Feed(Bytes{0x00});
        const LostRuns wholeLost = testing::MergedLost(whole.pipe);
        EXPECT_EQ(FramedBytes(whole.recorder.frames) + whole.pipe.LostTotal(), stream.size() + 1);
        for (const Frame& frame : whole.recorder.frames) {
            EXPECT_EQ(frame.data.front(), 0x80);
            EXPECT_TRUE(frame.data.back() == 0x04 || frame.data.size() == 256);
        }

        for (const std::size_t maxPiece : {std::size_t(1), std::size_t(3), std::size_t(300)}) {
            Rig chunked;
            testing::FeedPieces(chunked.pipe, stream, testing::RandomPieces(stream.size(), round, maxPiece));
            chunked.decoder.SetEnabled(false);
            chunked.pipe.Feed(Bytes{0x00});
            ASSERT_EQ(chunked.recorder.frames.size(), whole.recorder.frames.size());
            for (std::size_t k = 0; k < whole.recorder.frames.size(); ++k)
                EXPECT_EQ(chunked.recorder.frames[k].data, whole.recorder.frames[k].data);
            EXPECT_EQ(testing::MergedLost(chunked.pipe), wholeLost);
        }
    }
}

TEST(FakeATS, DigitPacking)
{
    struct Case {
        std::uint32_t values[3];
        CATSInputHandler::FakeATSFrame frame;
    };
    const Case cases[] = {
        {{1234567, 7654321, 1000000},
         {0x80, 0x06, 0x91, 0x23, 0x45, 0x67, 0x76, 0x54, 0x32, 0x11, 0x00, 0x00, 0x00, 0x99, 0x04}},
        // Shorter values are written with leading zeros.
        {{5, 0, 42}, {0x80, 0x06, 0x90, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x42, 0x99, 0x04}},
        // An end byte inside the frame is replaced.
        {{1040000, 404040, 4},
         {0x80, 0x06, 0x91, 0xF4, 0x00, 0x00, 0xF4, 0xF4, 0xF4, 0x00, 0x00, 0x00, 0xF4, 0x99, 0x04}},
    };
    for (const Case& c : cases) {
        CATSInputHandler::FakeATSFrame frame;
        CATSInputHandler::PackFakeATS(frame, c.values[0], c.values[1], c.values[2]);
        EXPECT_EQ(frame, c.frame) << c.values[0];
    }
}

// Unpacks the seven digits that start at nibble `first` (byte 2's high
// nibble is nibble 0), undoing the end-byte substitution.
std::uint32_t Unpack(const CATSInputHandler::FakeATSFrame& frame, unsigned first)
{
    std::uint32_t value = 0;
    for (unsigned nibble = first; nibble < first + 7; ++nibble) {
        std::uint8_t byte = frame[2 + nibble / 2];
        if (byte == 0xF4)
            byte = 0x04;
        const unsigned digit = nibble % 2 == 0 ? byte >> 4 : byte & 0x0F;
        EXPECT_LE(digit, 9u);
        value = value * 10 + digit;
    }
    return value;
}

TEST(FakeATS, GeneratedFramesDecodeAsOneFrameEach)
{
    Rig rig;
    for (int n = 0; n < 2000; ++n) {
        CATSInputHandler::FakeATSFrame frame;
        rig.decoder.BuildFakeATS(frame);
        ASSERT_EQ(frame.size(), 15u);
        EXPECT_EQ(frame[0], 0x80);
        EXPECT_EQ(frame[1], 0x06);
        EXPECT_EQ(frame[2] >> 4, 0x9);
        EXPECT_EQ(frame[13], 0x99);
        EXPECT_EQ(frame[14], 0x04);
        for (std::size_t i = 0; i < 14; ++i)
            EXPECT_NE(frame[i], 0x04) << i;
        EXPECT_LE(Unpack(frame, 1), 6280000u);
        EXPECT_LE(Unpack(frame, 8), 6280000u);
        EXPECT_LE(Unpack(frame, 15), 1000000u);
        rig.pipe.Feed(frame.data(), frame.size());
        ASSERT_EQ(rig.recorder.frames.size(), std::size_t(n + 1));
        EXPECT_EQ(rig.recorder.frames.back().data, Bytes(frame.begin(), frame.end()));
        EXPECT_EQ(rig.recorder.frames.back().type, 0u);
    }
    EXPECT_TRUE(rig.pipe.lost.empty());
}

TEST(FakeATS, SendWritesTheFrameThroughThePipe)
{
    Rig rig;
    CATSInputHandler::FakeATSFrame frame;
    rig.decoder.BuildFakeATS(frame);
    EXPECT_TRUE(rig.decoder.SendFakeATS(frame));
    EXPECT_EQ(rig.pipe.sent, Bytes(frame.begin(), frame.end()));
    rig.pipe.portOpen = false;
    EXPECT_FALSE(rig.decoder.SendFakeATS(frame));
    rig.pipe.portOpen = true;
    rig.decoder.Unsubscribe();
    EXPECT_FALSE(rig.decoder.SendFakeATS(frame));
    EXPECT_EQ(rig.pipe.sent.size(), 15u);
}

// The generator thread sends while the port's reader thread delivers. A real
// byte pipe holds its lock through a delivery and takes it again in Send, so
// sending under the decoder's lock would deadlock against a delivery.
TEST(FakeATS, SendingWhileReceivingTakesTheLocksInDeliveryOrder)
{
    struct LockingPipe : FakeBytePipe {
        bool Send(const std::uint8_t* data, std::uint32_t length) override
        {
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            return FakeBytePipe::Send(data, length);
        }
    };
    LockingPipe pipe;
    CATSInputHandler decoder;
    decoder.Subscribe(&pipe);
    decoder.SetEnabled(true);
    std::atomic<bool> receiving{true};
    std::thread reader([&] {
        const Bytes chunk{0x80, 0x06, 0x12, 0x04};
        for (int n = 0; n < 2000; ++n)
            pipe.Feed(chunk);
        receiving = false;
    });
    std::size_t tries = 0;
    std::size_t sent = 0;
    CATSInputHandler::FakeATSFrame frame;
    while (receiving || tries < 100) {
        decoder.BuildFakeATS(frame);
        sent += decoder.SendFakeATS(frame) ? 1 : 0;
        ++tries;
    }
    reader.join();
    // Not one send refused or cut short by the deliveries running beside it.
    EXPECT_EQ(sent, tries);
    EXPECT_EQ(pipe.sent.size(), tries * frame.size());
}

}  // namespace
}  // namespace TolvarRT
