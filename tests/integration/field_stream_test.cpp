// Every kind of frame on one line with noise between them, as a rover's radio
// delivers it: stray 0xD3 and STX bytes with large length bytes after them
// start frames that run past what has arrived. Each decoder of the port gets
// the same chunks; every frame must come out with the chunk that holds its
// last byte, silence after the last one, and each decoder must account for
// every byte once, in stream order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "chunked_feed.h"
#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "fake_byte_pipe.h"
#include "packet_bytes.h"
#include "rtcm2_writer.h"
#include "rtcm3_frame_builder.h"
#include "stats/frame_lister.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FakeBytePipe;

enum eDecoder { kPackets, kRtcm2, kRtcm3, kNmea, kAts, kDecoders };
const char* const kDecoderNames[kDecoders] = {"packets", "RTCM v2", "RTCM v3", "NMEA", "ATS"};

// Where a frame was written.
struct sPlaced {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

// The decoders of one port, each on a pipe of its own so that its lost
// reports can be told apart, all fed the same chunks with the same stamps.
struct Port {
    Port()
    {
        ats.SetEnabled(true);
        parser.Subscribe(&pipes[kPackets]);
        rtcm2.Subscribe(&pipes[kRtcm2]);
        rtcm3.Subscribe(&pipes[kRtcm3]);
        nmea.Subscribe(&pipes[kNmea]);
        ats.Subscribe(&pipes[kAts]);
        cmr.Subscribe(&parser);
        listers[kPackets].AttachPackets(parser, parser, cmr, chunk);
        listers[kRtcm2].Attach<IIncommingRTCMPipe>(rtcm2, rtcm2, chunk);
        listers[kRtcm3].Attach<IIncommingRTCM3Pipe>(rtcm3, rtcm3, chunk);
        listers[kNmea].Attach<IIncommingNMEAPipe>(nmea, nmea, chunk);
        listers[kAts].Attach<IIncommingATSPipe>(ats, ats, chunk);
    }
    void Feed(const Bytes& stream, std::size_t chunkSize)
    {
        for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize, ++chunk)
            for (FakeBytePipe& pipe : pipes)
                pipe.Feed(stream.data() + offset, std::min(chunkSize, stream.size() - offset));
    }

    std::uint64_t chunk = 0;
    FakeBytePipe pipes[kDecoders];
    CLogNode log;
    CDataCollectorParser parser{log};
    CDCCMRHandler cmr;
    CRTCMInputHandler rtcm2;
    CRTCM3InputHandler rtcm3;
    CNMEAInputHandler nmea;
    CATSInputHandler ats;
    CFrameLister listers[kDecoders];
};

struct FieldStream {
    Bytes bytes;
    std::vector<sPlaced> frames[kDecoders];  // where each frame written lies

    void Append(eDecoder decoder, const Bytes& frame, std::size_t unused = 0)
    {
        frames[decoder].push_back({bytes.size(), bytes.size() + frame.size() - unused});
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
};

using testing::Packet;

Bytes SentenceBytes(const std::string& body)
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= std::uint8_t(c);
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", sum);
    const std::string text = "$" + body + checksum;
    return Bytes(text.begin(), text.end());
}

// Frames of every kind in a random order, with noise before each: random
// bytes, then often a start of the RTCM v3 or packet framing whose length
// runs far past the frame that follows, or an RTCM v2 header of another
// station that would read the next frame's words as its own. Only ATS frames
// hold a 0x80: ATS framing has no check, so any 0x80 opens a frame that takes
// in all up to the next 0x04 or its length limit, and no later look can tell
// it was false.
// The noise holds no "$" either, which would open a sentence.
FieldStream MakeFieldStream(unsigned seed, unsigned frameCount)
{
    std::mt19937 random(seed);
    FieldStream stream;
    const auto randomBytes = [&](std::size_t count) {
        Bytes bytes(count);
        for (auto& byte : bytes)
            byte = std::uint8_t(random());
        return bytes;
    };
    const auto withoutAtsStart = [](const auto& make) {
        Bytes frame;
        do
            frame = make();
        while (std::find(frame.begin(), frame.end(), CATSInputHandler::kFrameStart) != frame.end());
        return frame;
    };
    for (unsigned i = 0; i < frameCount; ++i) {
        for (std::uint8_t byte : randomBytes(random() % 24))
            if (byte != CATSInputHandler::kFrameStart && byte != '$')
                stream.bytes.push_back(byte);
        switch (random() % 3) {
        case 0: stream.bytes.insert(stream.bytes.end(), {0xD3, 0x03, std::uint8_t(0xC0 | random())}); break;
        case 1:
            stream.bytes.insert(stream.bytes.end(), {kPacketStx, 0x00, kPacketCMR, std::uint8_t(0xC0 | random())});
            break;
        default: break;
        }
        switch (random() % kDecoders) {
        case kPackets: {
            stream.Append(kPackets, withoutAtsStart([&] {
                              Bytes data = randomBytes(2 + random() % 60);
                              data[1] = 0x29;
                              return Packet(kPacketCMR, data);
                          }));
            break;
        }
        case kRtcm2: {
            testing::Rtcm2Writer writer;
            // Once the station is known, sometimes a false header of another
            // station on the frame's word grid, claiming more words than follow.
            if (!stream.frames[kRtcm2].empty() && random() % 3 == 0) {
                writer.Words(testing::Rtcm2Writer::HeaderWords({1, 77, unsigned(random() % 6000), 0, 0}, 31));
                stream.bytes.insert(stream.bytes.end(), writer.bytes.begin(), writer.bytes.end());
                writer.bytes.clear();
            }
            std::vector<std::uint32_t> words;
            for (unsigned k = random() % 12; k > 0; --k)
                words.push_back(random() & 0xFFFFFF);
            writer.Frame({1 + unsigned(random() % 20), 300, unsigned(random() % 6000), i % 8, 0}, words);
            writer.Pad();
            stream.Append(kRtcm2, writer.bytes);
            break;
        }
        case kRtcm3:
            stream.Append(kRtcm3, withoutAtsStart([&] {
                              return TolvarRT::testing::rtcm3_reference::Frame(1001 + random() % 200, random() % 300, 0,
                                                                               random());
                          }));
            break;
        case kNmea:
            // The sentence ends with its CR; the LF after it is not its own.
            stream.Append(kNmea, SentenceBytes("GPZDA,120000.00,07,12,2026,00,00"), 1);
            break;
        default: {
            CATSInputHandler::FakeATSFrame frame;
            CATSInputHandler::PackFakeATS(frame, random() % 10000000, random() % 10000000, random() % 10000000);
            stream.Append(kAts, Bytes(frame.begin(), frame.end()));
            break;
        }
        }
    }
    return stream;
}

// One decoder's frames and lost reports, taken in stream order, must cover
// every byte up to the end of the last once; returns where they end. Two
// frames may share a byte (RTCM v2 words need not start on one).
std::uint64_t ExpectExactAccount(const FakeBytePipe& pipe, const std::vector<sListedFrame>& frames, eDecoder decoder)
{
    std::vector<sPlaced> pieces;
    for (const auto& [first, count] : testing::MergedLost(pipe))
        pieces.push_back({first, std::uint64_t(first) + count});
    for (const sListedFrame& frame : frames)
        pieces.push_back({frame.offset, frame.offset + frame.length});
    std::sort(pieces.begin(), pieces.end(), [](const sPlaced& a, const sPlaced& b) { return a.first < b.first; });
    std::uint64_t covered = 0;
    for (const sPlaced& piece : pieces) {
        const bool sharing = decoder == kRtcm2 && piece.first + 1 == covered;
        if (piece.first != covered && !sharing)
            ADD_FAILURE() << "bytes from " << piece.first << " on, every byte before " << covered << " accounted";
        covered = piece.end;
    }
    return covered;
}

TEST(FieldStreamTest, EveryFrameComesOutWithTheChunkOfItsLastByteAndEveryByteIsAccountedOnce)
{
    const FieldStream stream = MakeFieldStream(20261207, 400);
    for (const std::size_t chunk : testing::kPortChunkSizes) {
        Port port;
        port.Feed(stream.bytes, chunk);
        for (int d = 0; d < kDecoders; ++d) {
            const auto decoder = eDecoder(d);
            SCOPED_TRACE(std::string(kDecoderNames[d]) + ", chunks of " + std::to_string(chunk));
            const std::vector<sPlaced>& written = stream.frames[d];
            const std::vector<sListedFrame>& published = port.listers[d].frames;
            ASSERT_FALSE(written.empty());
            ASSERT_EQ(published.size(), written.size());
            for (std::size_t i = 0; i < written.size(); ++i) {
                SCOPED_TRACE("the frame written at " + std::to_string(written[i].first));
                EXPECT_EQ(published[i].offset, written[i].first);
                EXPECT_EQ(published[i].offset + published[i].length, written[i].end);
                const std::uint64_t lastByteIn = (written[i].end - 1) / chunk;
                EXPECT_EQ(published[i].chunk, lastByteIn);
                EXPECT_EQ(published[i].stamp, FakeBytePipe::kFirstTimeStamp + TimeStamp(lastByteIn));
            }
            if (decoder == kPackets || decoder == kRtcm2 || decoder == kRtcm3) {
                EXPECT_GE(ExpectExactAccount(port.pipes[d], published, decoder), written.back().end);
            }
        }
    }
}

}  // namespace
}  // namespace TolvarRT
