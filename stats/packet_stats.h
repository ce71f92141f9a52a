// The statistics of one frame type on one side of a link, and the key that
// files them.
#pragma once

#include <cstdint>
#include <string>

#include "core/pipes.h"
#include "stats/latency_histogram.h"
#include "stats/transit_median.h"

namespace TolvarRT {

// Frame class in the upper 16 bits, frame type in the lower 16.
constexpr std::uint32_t FrameKey(unsigned frameClass, unsigned type)
{
    return (std::uint32_t(frameClass) << 16) | (type & 0xFFFFu);
}
constexpr unsigned KeyClass(std::uint32_t key)
{
    return key >> 16;
}
constexpr unsigned KeyType(std::uint32_t key)
{
    return key & 0xFFFFu;
}

// "CMR Type 0", "RTCM v3 Type 1005", the NMEA type name, ...
std::string FrameName(std::uint32_t key);

struct PacketStats {
    std::uint32_t key = 0;
    TimeStamp firstTime = 0;
    // Source frames minus own matched frames when the record last synchronised
    // with the source: the base of "% Received".
    std::uint32_t sourceOffset = 0;
    std::uint32_t syncGeneration = 0;  // 0: not synchronised
    std::uint16_t prevSum = 0;
    std::uint16_t prevLength = 0;
    std::uint32_t prevMatchedBy = 0;  // receiver bits that matched the frame before the last
    TimeStamp prevTime = 0;
    std::uint16_t lastSum = 0;
    std::uint16_t lastLength = 0;
    std::uint32_t lastMatchedBy = 0;
    TimeStamp lastTime = 0;
    double sumSquares = 0.0;  // of the intervals longer than 25 ms, s^2
    std::uint32_t frames = 0;
    std::uint32_t bursts = 0;  // frames 25 ms or less after the one before
    std::uint32_t matched = 0;
    std::uint32_t totalBytes = 0;
    std::uint32_t lastSize = 0;
    std::uint32_t unmatched = 0;
    std::uint32_t intervalFrames = 0;
    std::uint32_t lost = 0;
    std::uint32_t late = 0;
    double latency = 0.0;  // s; -1 when the last frame was not correlated
    std::uint32_t latencySamples = 0;
    double latencySum = 0.0;
    std::uint8_t changed = 0;
    double bestSpread = 10.0;
    double period = 0.0;  // nominal interval, s; 0 until estimated

    // What a run measured, kept apart from the figures above so that no
    // summary clears them; a receiver resets them only when it resynchronises
    // with a new source generation, as it does matched and unmatched.
    std::uint32_t intervalUnmatched = 0;  // unmatched since the last interval summary
    // Matched frames that took longer than the source's period of their
    // type: the next one was due before they arrived.
    std::uint32_t lateArrivals = 0;
    // Transit times of every matched frame, bursts included (latency skips
    // bursts), in seconds; min and max are meaningful once matched > 0.
    double transitSum = 0.0;
    double transitMin = 0.0;
    double transitMax = 0.0;
    // The same transits as a distribution, over the run and since the last
    // interval summary.
    CLatencyHistogram transits;
    CLatencyHistogram intervalTransits;
    // What the frames took: their data alone, and on the air with the
    // framing of their protocol (radio_budget.h).
    std::uint64_t payloadBytes = 0;
    std::uint64_t airBytes = 0;
    // The transits of the type's latest matches, receiver only: what a frame
    // of a type whose content never changes is expected to take when the
    // link has no frame of changing content to tell its delay.
    CTransitMedian recentTransits;
};

}  // namespace TolvarRT
