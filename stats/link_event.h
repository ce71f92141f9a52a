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
    // From the frames' own content, with no Source needed:
    StationChanged,  // a base's id, position, antenna or receiver changed mid-run
    EpochsLost,      // whole epochs of one GNSS never came
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
    // Frame: the age of its corrections (arrival minus epoch), when it has one.
    bool hasAge = false;
    double ageS = 0.0;
    // StationChanged and EpochsLost: the station; EpochsLost: the GNSS and
    // how many epochs; StationChanged: what changed ("station", "position",
    // "antenna", "receiver", "firmware"), a static text.
    std::uint16_t stationId = 0;
    std::uint8_t gnss = 0;  // a Gnss
    std::uint64_t epochs = 0;
    const char* what = "";
};

// Called on the thread that counted the frame or judged the event, under the
// collection's lock: a sink must not call back into the collection.
class ILinkEventSink {
public:
    virtual ~ILinkEventSink() = default;
    virtual void OnLinkEvent(const sLinkEvent& event) = 0;
};

}  // namespace TolvarRT
