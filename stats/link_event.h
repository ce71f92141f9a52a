// What happened on one side of a link, one event at a time: every frame a
// collection counted, and the outages and runs of corruption it judged. A
// sink turns them into an events file or a live picture.
#pragma once

#include <cstdint>

#include "core/time_base.h"

namespace TolvarRT {

enum class eLinkEventKind : std::uint8_t {
    Frame,
    BeginOutage,
    EndOutage,
    BeginCorrupted,
    EndCorrupted,
};

struct sLinkEvent {
    eLinkEventKind kind = eLinkEventKind::Frame;
    bool source = false;     // the side: the Source's collection, or a receiver's
    bool wholeLink = false;  // an outage or corruption of the link, not of one type
    std::uint32_t key = 0;   // FrameKey of the type; 0 with wholeLink
    TimeStamp time = 0;      // arrival of the frame, or when the event was judged
    unsigned length = 0;     // Frame: the bytes counted for it
    bool matched = false;    // Frame, receivers only: found among the source's frames
    double latencyS = 0.0;   // Frame, when matched: transit time from the source
    // End events: how long the outage or the corruption lasted; Begin events:
    // how long frames had been missing (or corrupt) when it was judged.
    double durationS = 0.0;
    std::uint64_t lostBytes = 0;  // corruption events: rejected bytes counted in the run
};

// Called on the thread that counted the frame or judged the event, under the
// collection's lock: a sink must not call back into the collection.
class ILinkEventSink {
public:
    virtual ~ILinkEventSink() = default;
    virtual void OnLinkEvent(const sLinkEvent& event) = 0;
};

}  // namespace TolvarRT
