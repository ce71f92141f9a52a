// Every kind of frame on one line with noise between them, as a rover's radio
// delivers it (stray 0xD3 and STX bytes with large length bytes after them
// start frames that run past what has arrived), or as a bad link does (long
// bursts of random bytes between frames). Each decoder of the port gets the
// same chunks; every frame written must come out once, nothing invented, with
// the chunk that holds its last byte, silence after the last one, and each
// decoder must account for every byte once, in stream order.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "case_name.h"
#include "chunked_feed.h"
#include "field_stream.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::eDecoder;
using testing::FakeBytePipe;
using testing::FieldStream;
using testing::kDecoderNames;
using testing::kDecoders;
using testing::sPlaced;
using enum testing::eDecoder;

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
    for (unsigned i = 0; i < frameCount; ++i) {
        for (unsigned count = random() % 24; count > 0; --count) {
            const auto byte = std::uint8_t(random());
            if (byte != CATSInputHandler::kFrameStart && byte != '$')
                stream.bytes.push_back(byte);
        }
        switch (random() % 3) {
        case 0: stream.bytes.insert(stream.bytes.end(), {0xD3, 0x03, std::uint8_t(0xC0 | random())}); break;
        case 1:
            stream.bytes.insert(stream.bytes.end(), {kPacketStx, 0x00, kPacketCMR, std::uint8_t(0xC0 | random())});
            break;
        default: break;
        }
        const auto kind = eDecoder(random() % kDecoders);
        // Once the station is known, sometimes a false header of another
        // station on the frame's word grid, claiming more words than follow;
        // the frame's parity goes on from the false header's last word.
        if (kind == kRtcm2 && !stream.frames[kRtcm2].empty() && random() % 3 == 0) {
            testing::Rtcm2Writer writer;
            writer.Words(testing::Rtcm2Writer::HeaderWords({1, 77, unsigned(random() % 6000), 0, 0}, 31));
            stream.bytes.insert(stream.bytes.end(), writer.bytes.begin(), writer.bytes.end());
            writer.bytes.clear();
            std::vector<std::uint32_t> words;
            for (unsigned k = random() % 12; k > 0; --k)
                words.push_back(random() & 0xFFFFFF);
            writer.Frame({1 + unsigned(random() % 20), 300, unsigned(random() % 6000), i % 8, 0}, words);
            writer.Pad();
            stream.Append(kRtcm2, writer.bytes);
            continue;
        }
        std::size_t unused = 0;
        const Bytes frame = testing::RandomFrame(kind, random, i, unused);
        stream.Append(kind, frame, unused);
    }
    return stream;
}

// Frames of every kind with a burst of up to 3000 random bytes before each,
// laced with starts of RTCM v3 frames and packets whose lengths run past the
// next frame, and with "$"s that open sentences no check will pass. The
// bursts hold no 0x80: ATS framing has no check, so that byte would open a
// frame nothing can refute.
FieldStream BurstyStream(unsigned seed, unsigned frameCount)
{
    std::mt19937 random(seed);
    FieldStream stream;
    for (unsigned i = 0; i < frameCount; ++i) {
        const unsigned burst = random() % 4 == 0 ? random() % 3000 : random() % 40;
        for (unsigned k = 0; k < burst; ++k) {
            switch (random() % 64) {
            case 0: stream.bytes.insert(stream.bytes.end(), {0xD3, 0x03, std::uint8_t(0xC0 | random())}); break;
            case 1: stream.bytes.insert(stream.bytes.end(), {kPacketStx, 0x00, kPacketCMR, 0xF0}); break;
            case 2: stream.bytes.push_back('$'); break;
            default:
                if (const auto byte = std::uint8_t(random()); byte != CATSInputHandler::kFrameStart)
                    stream.bytes.push_back(byte);
            }
        }
        const auto kind = eDecoder(random() % kDecoders);
        std::size_t unused = 0;
        const Bytes frame = testing::RandomFrame(kind, random, i, unused);
        stream.Append(kind, frame, unused);
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

struct StreamCase {
    const char* what;
    FieldStream (*make)(unsigned seed, unsigned frameCount);
    unsigned seed;
    unsigned frameCount;
    std::size_t leastFramesOfEachKind;
};

class FieldStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FieldStreamTest, EveryFrameComesOutWithTheChunkOfItsLastByteAndEveryByteIsAccountedOnce)
{
    const StreamCase& c = GetParam();
    const FieldStream stream = c.make(c.seed, c.frameCount);
    for (const std::size_t chunk : testing::kPortChunkSizes) {
        testing::DecodingPort port;
        port.Feed(stream.bytes, chunk);
        for (int d = 0; d < kDecoders; ++d) {
            const auto decoder = eDecoder(d);
            SCOPED_TRACE(std::string(kDecoderNames[d]) + ", chunks of " + std::to_string(chunk));
            const std::vector<sPlaced>& written = stream.frames[d];
            const std::vector<sListedFrame>& published = port.listers[d].frames;
            ASSERT_GE(written.size(), c.leastFramesOfEachKind);
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

INSTANTIATE_TEST_SUITE_P(Generators, FieldStreamTest,
                         ::testing::Values(StreamCase{"noise between frames", MakeFieldStream, 20261207, 400, 1},
                                           StreamCase{"bursts between frames", BurstyStream, 7, 600, 51}),
                         testing::CaseName<StreamCase>);

}  // namespace
}  // namespace TolvarRT
