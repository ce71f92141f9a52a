// Frame events as a statistics collection reports them, for the tests of the
// events file and of its report.
#pragma once

#include "stats/link_event.h"
#include "stats/packet_stats.h"

namespace cli::testing {

constexpr std::uint32_t kCmr0 = TolvarRT::FrameKey(TolvarRT::kFrameClassCMR, 0);
constexpr std::uint32_t kRtcm1005 = TolvarRT::FrameKey(TolvarRT::kFrameClassRTCM3, 1005);

// A frame of the key counted now; matched with the given transit time
// unless it is negative.
inline TolvarRT::sLinkEvent FrameEvent(bool source, std::uint32_t key, double latencyS = -1.0)
{
    TolvarRT::sLinkEvent event;
    event.source = source;
    event.key = key;
    event.time = TolvarRT::TimeStampNow();
    event.length = 30;
    event.matched = latencyS >= 0.0;
    event.latencyS = event.matched ? latencyS : 0.0;
    return event;
}

}  // namespace cli::testing
