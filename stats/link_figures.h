// What a link did to each frame type over a whole run, judged from the
// receiver's records and its source's: every frame the source sent is
// matched, missed or still in flight; every frame received is matched or
// unmatched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stats/latency_histogram.h"
#include "stats/stats_snapshot.h"

namespace TolvarRT {

struct sLinkFigures {
    std::uint32_t key = 0;
    std::string name;
    std::uint64_t sent = 0;      // frames the source counted
    std::uint64_t received = 0;  // frames the receiver counted
    std::uint64_t matched = 0;   // received frames found among the source's
    // Sent and never received: only frames that can no longer arrive, those
    // sent longer ago than the receiver's match window, or all once the link
    // is over.
    std::uint64_t missed = 0;
    std::uint64_t inFlight = 0;   // sent, not received yet and still matchable
    std::uint64_t unmatched = 0;  // received with no source frame: corrupted or invented
    std::uint64_t late = 0;       // matched, but after more than the source's period of the type
    double latencySumS = 0.0;     // over every matched frame
    double latencyMinS = 0.0;     // min and max: meaningful when matched > 0
    double latencyMaxS = 0.0;
    // The receiver's own estimate from gaps in its arrivals, blind to the
    // source; judged only when the period is re-estimated.
    std::uint64_t gapRuleLost = 0;
    std::uint64_t gapRuleLate = 0;
    CLatencyHistogram transits;  // every matched frame's latency

    double LatencyMeanS() const { return matched == 0 ? 0.0 : latencySumS / double(matched); }
};

// One entry per key of either side, ascending. linkOver: nothing more can
// arrive (the source has stopped and the link has drained), so every frame
// still in flight is missed.
std::vector<sLinkFigures> MeasureLink(const sStatsSnapshot& snapshot, bool linkOver);
// The whole run: counts added up, latency over every matched frame.
sLinkFigures LinkTotal(const std::vector<sLinkFigures>& types);

}  // namespace TolvarRT
