// Regression on recorded RTCM v2 feeds: the frame counts of the captures'
// manifest in every chunking and in both polarities, and every byte that is in
// no frame reported lost exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "manifest_frames.h"
#include "rtcm2_harness.h"
#include "rtcm2_writer.h"

namespace TolvarRT::testing {
namespace {

const char* const kCaptures[] = {"sample.rtcm2", "rtcm2.bend.log"};

std::map<std::string, std::uint64_t> CountPerType(const std::vector<RecordedFrame>& frames)
{
    std::map<std::string, std::uint64_t> counts;
    for (const RecordedFrame& frame : frames)
        ++counts["RTCM v2 Type " + std::to_string(frame.type)];
    return counts;
}

bool SameFrames(const std::vector<RecordedFrame>& a, const std::vector<RecordedFrame>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!a[i].SameContent(b[i]))
            return false;
    return true;
}

// With one byte a chunk a frame's stamp names its last byte; counting its
// 5 x (N + 2) payload bytes back from there gives its first, or its second
// when its words do not start on a byte.
Ranges FrameSpans(const std::vector<std::uint8_t>& bytes, const Rtcm2Run& byteByByte)
{
    Ranges spans;
    for (const RecordedFrame& frame : byteByByte.frames) {
        const auto last = std::size_t(frame.stamp - 1000);
        std::size_t first = last + 1;
        for (unsigned entries = 5 * (frame.length + 2u); entries > 0 && first > 0;)
            if ((bytes[--first] & 0xC0) == 0x40)
                --entries;
        spans.emplace_back(first, last + 1);
    }
    return spans;
}

// Fixed and random cuts, upright and inverted, give the very frames and
// losses of one byte a chunk.
TEST(RtcmInputHandlerCaptureTest, ManifestCountsInEveryChunkingAndBothPolarities)
{
    for (const char* capture : kCaptures) {
        SCOPED_TRACE(capture);
        const std::vector<std::uint8_t> upright = ReadCapture(capture);
        const Rtcm2Run reference = DecodeRtcm2(upright, FixedChunks(upright.size(), 1));
        EXPECT_EQ(CountPerType(reference.frames), ManifestFrames(capture));
        for (const bool inverted : {false, true}) {
            const std::vector<std::uint8_t> bytes = inverted ? InvertRtcm2Polarity(upright) : upright;
            std::vector<std::vector<std::size_t>> chunkings{{bytes.size()}};
            for (const std::size_t chunk : {1, 7, 64, 1024})
                chunkings.push_back(FixedChunks(bytes.size(), chunk));
            for (unsigned seed = 1; seed <= 20; ++seed)
                chunkings.push_back(RandomPieces(bytes.size(), seed, 1 + seed * 13));
            for (const auto& chunks : chunkings) {
                SCOPED_TRACE((inverted ? "inverted, " : "upright, ") + std::to_string(chunks.size()) + " chunks");
                const Rtcm2Run run = DecodeRtcm2(bytes, chunks);
                EXPECT_TRUE(SameFrames(run.frames, reference.frames));
                EXPECT_EQ(run.lost, reference.lost);
                EXPECT_TRUE(run.lostInOrder);
            }
        }
    }
}

TEST(RtcmInputHandlerCaptureTest, EveryByteOutsideTheFramesIsLostExactlyOnce)
{
    for (const char* capture : kCaptures) {
        SCOPED_TRACE(capture);
        const std::vector<std::uint8_t> bytes = ReadCapture(capture);
        const Rtcm2Run run = DecodeRtcm2(bytes, FixedChunks(bytes.size(), 1));
        EXPECT_TRUE(run.lostInOrder);
        const Ranges spans = FrameSpans(bytes, run);
        for (std::size_t i = 1; i < spans.size(); ++i)
            ASSERT_LE(spans[i - 1].second, spans[i].first) << "frames " << i - 1 << " and " << i << " overlap";
        // Bytes of a frame that may still be completing at the end stay unreported.
        std::uint64_t accounted = spans.empty() ? 0 : spans.back().second;
        if (!run.lost.empty())
            accounted = std::max(accounted, run.lost.back().second);
        EXPECT_LT(bytes.size() - accounted, 200u);

        Ranges frameOrLost = spans;
        frameOrLost.insert(frameOrLost.end(), run.lost.begin(), run.lost.end());
        std::sort(frameOrLost.begin(), frameOrLost.end());
        for (std::size_t i = 1; i < frameOrLost.size(); ++i)
            ASSERT_LE(frameOrLost[i - 1].second, frameOrLost[i].first) << "a frame's bytes reported lost";
        // What is neither is the first byte of a frame whose words start
        // inside it, with the noise up to its next payload byte; the first
        // byte may be the last of the frame before.
        for (const auto& [first, end] : Complement(frameOrLost, accounted)) {
            SCOPED_TRACE("bytes " + std::to_string(first) + " to " + std::to_string(end));
            EXPECT_TRUE(
                std::any_of(spans.begin(), spans.end(), [end = end](const auto& span) { return span.first == end; }));
            const auto payload =
                std::count_if(bytes.begin() + std::ptrdiff_t(first), bytes.begin() + std::ptrdiff_t(end),
                              [](std::uint8_t byte) { return (byte & 0xC0) == 0x40; });
            if (payload == 1) {
                EXPECT_EQ(bytes[first] & 0xC0, 0x40);
            } else {
                EXPECT_EQ(payload, 0);
                EXPECT_TRUE(std::any_of(spans.begin(), spans.end(),
                                        [first = first](const auto& span) { return span.second == first; }));
            }
        }
    }
}

}  // namespace
}  // namespace TolvarRT::testing
