// Frames with a weak check (header-only RTCM v2, ATS) made of bytes inside a
// packet or an RTCM v3 frame of the same pipe: dropped, held only while such a
// frame may still be arriving, and every byte still placed exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "chunked_feed.h"
#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "nmea_sentence.h"
#include "packet_bytes.h"
#include "rtcm2_writer.h"
#include "rtcm3_frame_builder.h"

namespace TolvarRT::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Published {
    unsigned frameClass;
    unsigned type;
    std::uint32_t first;
    std::uint32_t count;
    TimeStamp stamp;
};

class Parser : public CDataCollectorParser {
public:
    Parser() : CDataCollectorParser(log) {}
    CLogNode log;
};

// One side's decoders, subscribed in the test document's order (RTCM v2
// before RTCM v3), with everything they publish and where it lies.
struct Side : TSubscriber<IIncommingRTCMPipe>,
              TSubscriber<IIncommingRTCM3Pipe>,
              TSubscriber<IIncommingATSPipe>,
              TSubscriber<IIncommingNMEAPipe>,
              TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
    explicit Side(bool coverFrames)
    {
        pipe.coverFrames = coverFrames;
        for (CBytePipeSubscriber* decoder :
             std::initializer_list<CBytePipeSubscriber*>{&parser, &rtcm, &rtcm3, &ats, &nmea})
            decoder->Subscribe(&pipe);
        ats.SetEnabled(true);
        TSubscriber<IIncommingRTCMPipe>::Subscribe(&rtcm);
        TSubscriber<IIncommingRTCM3Pipe>::Subscribe(&rtcm3);
        TSubscriber<IIncommingATSPipe>::Subscribe(&ats);
        TSubscriber<IIncommingNMEAPipe>::Subscribe(&nmea);
        TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe>::Subscribe(&parser);
    }
    ~Side() override
    {
        TSubscriber<IIncommingRTCMPipe>::Unsubscribe();
        TSubscriber<IIncommingRTCM3Pipe>::Unsubscribe();
        TSubscriber<IIncommingATSPipe>::Unsubscribe();
        TSubscriber<IIncommingNMEAPipe>::Unsubscribe();
        TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe>::Unsubscribe();
    }
    void Add(unsigned frameClass, unsigned type, const CBytePipeSubscriber& decoder, const TimeStamp& stamp)
    {
        const auto span = decoder.PublishedSpan();
        frames.push_back({frameClass, type, span.firstIndex, span.count, stamp});
    }
    void OnRTCMFrame(unsigned type, const std::uint8_t*, std::uint16_t, const TimeStamp& stamp) override
    {
        Add(kFrameClassRTCM2, type, rtcm, stamp);
    }
    void OnRTCM3Frame(unsigned type, const std::uint8_t*, std::uint16_t, const TimeStamp& stamp) override
    {
        Add(kFrameClassRTCM3, type, rtcm3, stamp);
    }
    void OnATSFrame(unsigned, const std::uint8_t*, std::uint16_t length, const TimeStamp& stamp) override
    {
        Add(kFrameClassATS, length, ats, stamp);
    }
    void OnNMEASentence(unsigned type, const sNMEAPosition*, const char*, const TimeStamp& stamp) override
    {
        Add(kFrameClassNMEA, type, nmea, stamp);
    }
    void OnPacket(std::uint8_t command, const std::uint8_t*, std::uint8_t, std::uint8_t,
                  const TimeStamp& stamp) override
    {
        Add(kFrameClassCMR, command, parser, stamp);
    }
    unsigned Count(unsigned frameClass) const
    {
        return unsigned(std::count_if(frames.begin(), frames.end(),
                                      [&](const Published& frame) { return frame.frameClass == frameClass; }));
    }
    // A decoder's reports of lost and its frames place each byte before end
    // once, in stream order.
    void ExpectPlacedOnce(const CBytePipeSubscriber& decoder, unsigned frameClass, std::uint32_t end) const
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> placed;
        for (std::size_t i = 0; i < pipe.lost.size(); ++i)
            if (pipe.lostBy[i] == &decoder)
                placed.push_back(pipe.lost[i]);
        std::uint32_t lostEnd = 0;
        for (const auto& [first, count] : placed) {
            EXPECT_GE(first, lostEnd) << "lost reports out of order";
            lostEnd = first + count;
        }
        for (const Published& frame : frames)
            if (frame.frameClass == frameClass)
                placed.emplace_back(frame.first, frame.count);
        std::sort(placed.begin(), placed.end());
        std::uint32_t next = 0;
        for (const auto& [first, count] : placed) {
            EXPECT_EQ(first, next) << "a gap or an overlap";
            next = first + count;
        }
        EXPECT_GE(next, end);
    }

    FakeBytePipe pipe;
    Parser parser;
    CRTCMInputHandler rtcm;
    CRTCM3InputHandler rtcm3;
    CATSInputHandler ats;
    CNMEAInputHandler nmea;
    std::vector<Published> frames;
};

// CMR packets of random lengths and random content.
Bytes RandomCmrPackets(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes stream;
    while (stream.size() < size) {
        Bytes data(1 + random() % 255);
        for (auto& byte : data)
            byte = std::uint8_t(random());
        const Bytes packet = Packet(kPacketCMR, data);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Rtcm2Frame(unsigned type, std::vector<std::uint32_t> dataWords)
{
    Rtcm2Writer writer;
    writer.Frame({type, 7, 100}, dataWords);
    writer.Pad();
    return writer.bytes;
}

// Regression test for RTCM v2 frames of header words alone found by chance
// inside random CMR packets (2 in 13 MB), each an unmatched frame on a live link.
TEST(FrameCoverTest, RandomCmrPacketsGiveNoRtcm2Frame)
{
    const Bytes stream = RandomCmrPackets(13u << 20, 2024);
    Side bare(false);
    bare.pipe.Feed(stream, 1024);
    ASSERT_GT(bare.Count(kFrameClassRTCM2), 0u) << "the stream no longer shows the fault";
    Side covered(true);
    covered.pipe.Feed(stream, 1024);
    EXPECT_EQ(covered.Count(kFrameClassRTCM2), 0u);
    EXPECT_EQ(covered.Count(kFrameClassCMR), bare.Count(kFrameClassCMR));
    covered.ExpectPlacedOnce(covered.rtcm, kFrameClassRTCM2, std::uint32_t(stream.size() - 2048));
}

// Packets, RTCM v2 with and without data words, NMEA and RTCM v3 between each
// other: every frame is kept, and in any chunking each is published by the
// chunk that holds its last byte, as without the cover.
TEST(FrameCoverTest, MixedStreamKeepsEveryFrameWithoutDelay)
{
    const Bytes stream = Join({Packet(kPacketCMR, Bytes(40, 'A')), Rtcm2Frame(6, {}),
                               Text(NmeaSentence("GPZDA,183409.00,01,02,2007,00,00")),
                               Rtcm2Frame(9, {0x123456, 0x654321}), rtcm3_reference::Frame(1005, 19),
                               Packet(kPacketCMRPlus, Bytes(12, 'B')), Rtcm2Frame(6, {}), Bytes{0x80, 0x11, 0x04}});
    for (const std::size_t chunk : {1, 7, 64, 0}) {
        SCOPED_TRACE(chunk);
        Side covered(true);
        covered.pipe.Feed(stream, chunk);
        ASSERT_EQ(covered.frames.size(), 8u);
        for (const Published& frame : covered.frames) {
            const std::uint32_t last = frame.first + frame.count - 1;
            EXPECT_EQ(frame.stamp, FakeBytePipe::kFirstTimeStamp + (chunk == 0 ? 0 : last / chunk));
        }
        covered.ExpectPlacedOnce(covered.rtcm, kFrameClassRTCM2, std::uint32_t(stream.size()));
        covered.ExpectPlacedOnce(covered.ats, kFrameClassATS, std::uint32_t(stream.size()));
    }
}

// Weak frames inside strong ones are dropped in every chunking; a frame with
// data words is not weak and stays.
TEST(FrameCoverTest, WeakFramesInsideStrongOnesAreDropped)
{
    const Bytes headerOnly = Rtcm2Frame(28, {});
    const Bytes inPacket = Packet(kPacketCMR, Join({Bytes{0x11}, headerOnly, Bytes{0x80, 0x22, 0x04}}));
    const Bytes withData = Packet(kPacketCMR, Rtcm2Frame(9, {0x123456}));
    const Bytes stream = Join({inPacket, withData, inPacket});
    for (const std::size_t chunk : {1, 5, 0}) {
        SCOPED_TRACE(chunk);
        Side covered(true);
        covered.pipe.Feed(stream, chunk);
        EXPECT_EQ(covered.Count(kFrameClassCMR), 3u);
        EXPECT_EQ(covered.Count(kFrameClassATS), 0u);
        ASSERT_EQ(covered.Count(kFrameClassRTCM2), 1u);
        covered.ExpectPlacedOnce(covered.rtcm, kFrameClassRTCM2, std::uint32_t(stream.size()));
        covered.ExpectPlacedOnce(covered.ats, kFrameClassATS, std::uint32_t(stream.size()));
    }
}

// A stray STX announcing 200 bytes: a header-only frame and an ATS frame after
// it wait until those bytes are in and show no packet, then are published with
// the stamps of their last bytes; a frame past the 200 bytes is not held.
TEST(FrameCoverTest, FrameAfterStrayStxWaitsForItsVerdict)
{
    const Bytes weak = Join({Rtcm2Frame(6, {}), Bytes{0x80, 0x04}});
    const Bytes stream = Join({Bytes{0x02, 0x00, 0x93, 200}, weak, Bytes(220, 0x55), Rtcm2Frame(6, {})});
    Side covered(true);
    for (std::size_t fed = 0; fed < stream.size(); ++fed) {
        covered.pipe.Feed(stream.data() + fed, 1);
        const std::size_t published = covered.frames.size();
        // Byte 204 is where the checksum should be; if it matches by chance,
        // the next is no ETX.
        if (fed < 204) {
            EXPECT_EQ(published, 0u) << "at byte " << fed;
        } else if (fed == 205) {
            EXPECT_EQ(published, 2u);
        }
    }
    ASSERT_EQ(covered.frames.size(), 3u);
    EXPECT_EQ(covered.frames[0].stamp,
              FakeBytePipe::kFirstTimeStamp + covered.frames[0].first + covered.frames[0].count - 1);
    EXPECT_EQ(covered.frames[1].stamp, FakeBytePipe::kFirstTimeStamp + 4 + weak.size() - 1);
    EXPECT_EQ(covered.frames[2].stamp, FakeBytePipe::kFirstTimeStamp + stream.size() - 1);
    covered.ExpectPlacedOnce(covered.rtcm, kFrameClassRTCM2, std::uint32_t(stream.size()));
    covered.ExpectPlacedOnce(covered.ats, kFrameClassATS, std::uint32_t(stream.size()));
}

// Frames on a link do not overlap: an STX or a 0xD3 inside a frame already
// published starts no packet or RTCM v3 frame worth waiting for.
TEST(FrameCoverTest, AStartByteInsideAPublishedFrameHoldsNothing)
{
    const Bytes stream =
        Join({Bytes{0x80, 0x02, 0x00, 0x93, 0xF0, 0xD3, 0x03, 0xFF, 0x04}, Rtcm2Frame(6, {}), Bytes{0x80, 0x11, 0x04}});
    Side covered(true);
    covered.pipe.Feed(stream, 1);
    ASSERT_EQ(covered.frames.size(), 3u);
    for (const Published& frame : covered.frames)
        EXPECT_EQ(frame.stamp, FakeBytePipe::kFirstTimeStamp + frame.first + frame.count - 1);
}

}  // namespace
}  // namespace TolvarRT::testing
