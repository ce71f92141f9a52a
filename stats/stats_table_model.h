// What the statistics table shows: one row per frame key seen on either side,
// every cell as text, refreshed from the collections. The desktop view, the
// command line and the status page all show these cells.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "stats/stats_collection.h"

namespace TolvarRT {

enum StatsColumn : unsigned {
    kColumnName,
    kColumnRating,
    kColumnCount,
    kColumnSourceCount,
    kColumnReceived,
    kColumnLastSize,
    kColumnLastInterval,
    kColumnLastTime,
    kColumnLastLatency,
    kColumnAverageLength,
    kColumnAverageRate,
    kColumnAverageLatency,
    // The twelve columns every front end shows.
    kStatsColumns,
    // The latency distribution of the run's matched frames, for front ends
    // with room for it.
    kColumnLatencyMin = kStatsColumns,
    kColumnLatencyMedian,
    kColumnLatency95,
    kColumnLatencyMax,
    kColumnLatencyRms,
    kAllStatsColumns
};

struct sStatsRow {
    std::uint32_t key = 0;
    int icon = -1;  // class icon: CMR 0, RTCM v2 1, NMEA 2, ATS 3, RTCM v3 4, CMR-W 5; -1 none
    std::array<std::string, kAllStatsColumns> cells;
};

// The rating of a frame type from how many of its frames came in its nominal
// period: "Perfect" down to "Crap"; "n/a" while the period is unknown.
const char* RatingText(double ratio);

// Thread rules: Refresh runs on one thread at a time (the view's timer);
// Rows may be read from any thread and returns a consistent copy.
class CStatsTableModel {
public:
    static const std::array<const char*, kStatsColumns>& ColumnHeaders();
    // The same twelve, then the latency columns.
    static const std::array<const char*, kAllStatsColumns>& AllColumnHeaders();

    // Brings the rows up to date with the receiver collection and its source.
    // Only records changed since the last refresh are read again, so one
    // model serves one receiver. After a reset of the receiver or of its
    // source ("Reset Statistics") the rows start again from what the
    // collections now hold.
    void Refresh(CStatsCollection& receiver);

    std::vector<sStatsRow> Rows() const;

private:
    sStatsRow& RowFor(std::uint32_t key);
    // Whether either collection was reset since the last refresh; notes
    // their generations for the next one.
    bool NoteGenerations(const CStatsCollection& receiver, const CStatsCollection* source);

    mutable std::mutex rowsLock;
    std::vector<sStatsRow> rows;           // ascending key
    std::uint32_t receiverGeneration = 0;  // 0: never refreshed
    const CStatsCollection* lastSource = nullptr;
    std::uint32_t sourceGeneration = 0;
};

}  // namespace TolvarRT
