// An events file read back: per frame type what the source sent and the
// Listener received, matched and how long it took, and every outage and run
// of corruption, for the summary of `tolvar report` and its picture.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stats/content_snapshot.h"
#include "stats/latency_histogram.h"
#include "stats/link_health.h"

namespace cli {

struct sLatencyPoint {
    double seconds = 0.0;  // arrival, since the test began
    double ms = 0.0;
};

// An outage (or a run of corruption) from its start to its end; one still
// open when the file ends lasts to the file's last event.
struct sEventBand {
    bool source = false;
    bool wholeLink = false;
    std::uint32_t key = 0;  // 0 with wholeLink
    bool corrupted = false;
    double begin = 0.0;
    double end = 0.0;
    bool open = false;
};

struct sTypeEvents {
    std::uint32_t key = 0;
    std::string name;
    std::uint64_t sent = 0;      // source frames
    std::uint64_t received = 0;  // Listener frames
    std::uint64_t matched = 0;
    TolvarRT::CLatencyHistogram latency;  // of the matched frames
    double latencySumS = 0.0;
    std::vector<sLatencyPoint> points;
    unsigned outages = 0;  // the Listener's, of this type
    double outageSeconds = 0.0;

    // The file is written when the test is over: nothing is in flight.
    std::uint64_t Missed() const { return sent > matched ? sent - matched : 0; }
    std::uint64_t Unmatched() const { return received > matched ? received - matched : 0; }
    double LatencyMeanS() const { return matched == 0 ? 0.0 : latencySumS / double(matched); }
};

// A base's id, position, antenna or receiver changing mid-run.
struct sStationChange {
    bool source = false;
    double seconds = 0.0;
    std::uint16_t stationId = 0;
    std::string what;  // "station", "position", "antenna", "receiver", "firmware"
};

// What one side's frames told of themselves: the ages per type, and per
// station and GNSS the epochs lost (the file holds no other epoch figures).
struct sContentEvents {
    std::vector<TolvarRT::sAgeFigures> ages;      // ascending key
    std::vector<TolvarRT::sEpochFigures> epochs;  // by station, then GNSS; lost only

    bool Empty() const { return ages.empty() && epochs.empty(); }
};

struct sEventsReport {
    std::vector<sTypeEvents> types;  // ascending key
    sTypeEvents total;               // every type together
    // Each side's outages and corruption, kept apart as the run kept them;
    // rejected bytes as the last event of the side told them.
    TolvarRT::sHealthCounts listener;
    TolvarRT::sHealthCounts source;
    bool sourceSeen = false;        // the file holds events of a Source
    std::vector<sEventBand> bands;  // in the order they were judged
    sContentEvents listenerContent;
    sContentEvents sourceContent;
    std::vector<sStationChange> stationChanges;  // in the file's order
    double lastSeconds = 0.0;                    // of the last event
    std::string firstUtc;                        // the date of the first event, as written
    std::uint64_t events = 0;
    std::uint64_t malformed = 0;  // lines skipped
};

sEventsReport ReadEventsReport(std::istream& in);

// The summary at the end of a run, from the file: per type and for all of
// them sent, received, matched, missed, unmatched, the latency distribution
// and the Listener's outages; each side's health as the run words it; then
// the skipped lines, once.
std::string EventsReportText(const sEventsReport& report);
nlohmann::json EventsReportJson(const sEventsReport& report);

}  // namespace cli
