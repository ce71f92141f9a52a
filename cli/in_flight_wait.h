// The end of a run with a real Source: the frames it sent last may still be
// on the air. The Source's statistics stop counting at the end, so that no
// new frame goes in flight, and the run waits for those in flight to arrive,
// up to a bound; what has not arrived by then is missed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "stats/link_figures.h"

namespace cli {

// How long the frames in flight at the end are waited for: twice the
// slowest latency matched so far and 1 s more, at least the drain given to a
// generator's link, never longer than a frame stays matchable.
std::chrono::milliseconds InFlightBound(double slowestLatencyS, std::chrono::milliseconds drain,
                                        std::chrono::milliseconds horizon);

// The figures once the wait is over, from those at the end and those measured
// after it with the link over: frames received during the wait count only
// when they matched one in flight (the rest were sent after the end and
// match nothing the Source counted); types first heard after the end are
// left out.
std::vector<TolvarRT::sLinkFigures> SettleInFlight(const std::vector<TolvarRT::sLinkFigures>& atEnd,
                                                   const std::vector<TolvarRT::sLinkFigures>& after);

struct sInFlightWait {
    std::uint64_t atEnd = 0;    // in flight when the run ended
    std::uint64_t leftOut = 0;  // still in flight when the bound passed: missed
    std::chrono::milliseconds bound{0};
    std::chrono::milliseconds waited{0};
};

// Measures the link until nothing is in flight or the bound passes, checking
// every 20 ms; measure(linkOver) measures the link now. Returns the figures
// settled and what the wait did.
std::vector<TolvarRT::sLinkFigures> AwaitInFlight(
    const std::function<std::vector<TolvarRT::sLinkFigures>(bool linkOver)>& measure,
    const std::vector<TolvarRT::sLinkFigures>& atEnd, std::chrono::milliseconds drain,
    std::chrono::milliseconds horizon, sInFlightWait& wait);

}  // namespace cli
