// One line of an events file: a JSON object per frame counted on either side
// of the link, per outage and per run of corruption. The writer and the
// report share it, so a file always reads back as it was written.
#pragma once

#include <chrono>
#include <string>

#include "stats/link_event.h"

namespace cli {

// An event as read back: the time is seconds since the test began.
struct sEventRecord {
    TolvarRT::sLinkEvent event;  // time unused
    double seconds = 0.0;
    std::string utc;  // as written
};

// {"event": "frame"|"beginOutage"|"endOutage"|"beginCorrupted"|"endCorrupted"
//  |"stationChanged"|"epochsLost", "side": "listener"|"source", "class",
//  "type", "name" (a frame type's) or "link": true (the whole link's), "t"
//  (s since the test began), "utc" (ISO 8601), frames: "length", "matched",
//  "latencyMs" (null unless matched), "ageMs" (only when the frame has an
//  age); outages and corruption: "durationS"; corruption: "lostBytes";
//  station changes: "station", "what"; lost epochs: "station", "gnss",
//  "epochs". The content's events name no frame type.
std::string EventLine(const TolvarRT::sLinkEvent& event, double seconds, std::chrono::system_clock::time_point utc);
// False when the line is no event of that form.
bool ParseEventLine(const std::string& line, sEventRecord& record);

}  // namespace cli
