// What bit errors on a bad radio link do to the byte stream, and what the
// decoders must still count: at a rate of 1e-3 in every kind of frame, every
// intact frame counted; a damaged one counted only when its check cannot
// tell. Each stream is fed in several chunkings, as ports deliver it. Long
// bursts of random bytes between frames are a generator of the field stream
// test.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "chunked_feed.h"
#include "field_stream.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::DecodingPort;
using testing::eDecoder;
using testing::FieldStream;
using testing::kDecoderNames;
using testing::kDecoders;
using testing::sPlaced;
using enum testing::eDecoder;

std::string Where(eDecoder decoder, std::size_t chunk)
{
    return std::string(kDecoderNames[decoder]) + ", chunks of " + std::to_string(chunk);
}

// The positions of the bits a channel with the given bit error rate flips.
std::vector<std::uint64_t> FlippedBits(std::uint64_t bitCount, double rate, unsigned seed)
{
    std::mt19937 random(seed);
    std::geometric_distribution<std::uint64_t> gap(rate);
    std::vector<std::uint64_t> flipped;
    for (std::uint64_t bit = gap(random); bit < bitCount; bit += 1 + gap(random))
        flipped.push_back(bit);
    return flipped;
}

// How many flipped bits fall in the bytes [first, end).
std::size_t FlipsIn(const std::vector<std::uint64_t>& flipped, std::uint64_t first, std::uint64_t end)
{
    return std::size_t(std::lower_bound(flipped.begin(), flipped.end(), end * 8) -
                       std::lower_bound(flipped.begin(), flipped.end(), first * 8));
}

// The flipped bits of a frame that its check covers: an RTCM v2 byte's two
// marker bits and a sentence's CR are framing, which no check covers; what
// goes wrong there loses a frame or leaves it whole.
std::size_t CheckedFlips(eDecoder kind, const std::vector<std::uint64_t>& flipped, const sPlaced& frame)
{
    if (kind == kNmea)
        return FlipsIn(flipped, frame.first, frame.end - 1);
    if (kind != kRtcm2)
        return FlipsIn(flipped, frame.first, frame.end);
    return std::size_t(std::count_if(flipped.begin(), flipped.end(), [&](std::uint64_t bit) {
        return bit >= frame.first * 8 && bit < frame.end * 8 && bit % 8 >= 2;
    }));
}

// The one guarantee each frame's check gives: RTCM v3's CRC-24Q finds every
// error of up to three bits (and a longer one all but once in 2^24); the
// packet checksum, the NMEA checksum and the RTCM v2 word parity find every
// single bit error; ATS frames have no check at all.
bool CheckMayMiss(eDecoder kind, std::size_t flips)
{
    switch (kind) {
    case kRtcm3: return false;
    case kAts: return true;
    default: return flips >= 2;
    }
}

// Whether an intact frame may go uncounted after a damaged one: an ATS frame
// whose end byte was hit runs on into the next one, and an RTCM v2 frame that
// lost a byte may take its last bits from the next frame's first byte; where
// either should have ended, nothing tells.
bool MayBeTakenByTheOneBefore(eDecoder kind)
{
    return kind == kAts || kind == kRtcm2;
}

class BitErrorTest : public ::testing::TestWithParam<eDecoder> {};

TEST_P(BitErrorTest, EveryIntactFrameIsCountedAndNoDamagedOneBeyondWhatItsCheckAllows)
{
    const eDecoder kind = GetParam();
    std::mt19937 random(1000 + unsigned(kind));
    FieldStream stream;
    for (unsigned i = 0; i < 800; ++i) {
        std::size_t unused = 0;
        const Bytes frame = testing::RandomFrame(kind, random, i, unused);
        stream.Append(kind, frame, unused);
    }
    const std::vector<std::uint64_t> flipped = FlippedBits(stream.bytes.size() * 8, 1e-3, 77 + unsigned(kind));
    Bytes received = stream.bytes;
    for (const std::uint64_t bit : flipped)
        received[bit / 8] ^= std::uint8_t(0x80 >> (bit % 8));

    const std::vector<sPlaced>& written = stream.frames[kind];
    std::vector<bool> hit(written.size());
    std::size_t intact = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        hit[i] = FlipsIn(flipped, written[i].first, written[i].end) != 0;
        intact += hit[i] ? 0 : 1;
    }
    ASSERT_GT(intact, 100u);
    ASSERT_GT(written.size() - intact, 50u);

    for (const std::size_t chunk : testing::kPortChunkSizes) {
        SCOPED_TRACE(Where(kind, chunk));
        DecodingPort port;
        port.Feed(received, chunk);
        std::vector<bool> counted(written.size(), false);
        std::size_t damagedCounted = 0;
        for (const sListedFrame& frame : port.listers[kind].frames) {
            const auto at =
                std::lower_bound(written.begin(), written.end(), frame.offset,
                                 [](const sPlaced& placed, std::uint64_t offset) { return placed.first < offset; });
            if (at == written.end() || at->first != frame.offset) {
                // Without a check an ATS frame cut short by a damaged byte
                // leaves its rest to be read as frames of their own.
                const bool rest = kind == kAts && at != written.begin() && hit[std::size_t(at - written.begin()) - 1];
                EXPECT_TRUE(rest) << "a frame counted at " << frame.offset << " where none was written";
                ++damagedCounted;
                continue;
            }
            const auto index = std::size_t(at - written.begin());
            EXPECT_FALSE(counted[index]) << "the frame at " << frame.offset << " counted twice";
            counted[index] = true;
            if (const std::size_t flips = CheckedFlips(kind, flipped, *at); flips != 0) {
                ++damagedCounted;
                EXPECT_TRUE(CheckMayMiss(kind, flips))
                    << "the frame at " << frame.offset << " counted with " << flips << " flipped bits";
            }
        }
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (counted[i] || hit[i] || (MayBeTakenByTheOneBefore(kind) && i > 0 && hit[i - 1]))
                continue;
            ADD_FAILURE() << "the intact frame written at " << written[i].first << " was not counted";
        }
        if (kind != kAts) {
            // Frames hit twice or more pass a weak check now and then, not often.
            EXPECT_LT(damagedCounted, (written.size() - intact) / 10);
        }
    }
}

std::string KindName(const ::testing::TestParamInfo<eDecoder>& info)
{
    static const char* const kNames[kDecoders] = {"Packets", "Rtcm2", "Rtcm3", "Nmea", "Ats"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(EveryFrameKind, BitErrorTest, ::testing::Values(kPackets, kRtcm2, kRtcm3, kNmea, kAts),
                         KindName);

}  // namespace
}  // namespace TolvarRT
