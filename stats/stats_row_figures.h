// The figures of one row of the statistics table as numbers: the table shows
// them as text, the JSON readers take them as they are. Nothing is computed
// twice and nothing is read back from a cell.
#pragma once

#include <cstdint>
#include <optional>

#include "stats/packet_stats.h"

namespace TolvarRT {

// Each figure is empty where the table shows "n/a".
struct sRowFigures {
    std::optional<std::uint32_t> count;
    std::optional<std::uint32_t> sourceCount;
    std::optional<double> percentReceived;
    std::optional<std::uint32_t> lastSizeBytes;
    std::optional<double> lastIntervalS;
    std::optional<double> lastTimeS;  // since the epoch
    std::optional<double> lastLatencyS;
    std::optional<double> averageLengthBytes;
    std::optional<double> averagePacketsPerS;
    std::optional<double> averageLatencyS;
    const char* rating = nullptr;
};

// The row of a key from the receiver's record and the source's, either of
// which may be missing (null).
sRowFigures RowFiguresOf(const PacketStats* record, const PacketStats* sourceRecord);

}  // namespace TolvarRT
