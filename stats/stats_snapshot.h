// A copy of a receiver collection's records and of its source's, taken at one
// moment: what every reader but the table's own refresh works from, so that
// reading never clears what the table has yet to show.
#pragma once

#include <cstdint>
#include <vector>

#include "stats/content_snapshot.h"
#include "stats/packet_stats.h"

namespace TolvarRT {

struct sStatsSnapshot {
    std::vector<PacketStats> records;        // ascending key
    std::vector<PacketStats> sourceRecords;  // the effective source's, ascending key
    bool hasSource = false;
    std::uint32_t sourceGeneration = 0;
    std::uint32_t receiverBit = 0;
    // Per source record, in the same order: frames the receiver has not
    // matched and could still match at the time of the snapshot.
    std::vector<std::uint32_t> inFlight;
    // What each side's frames told about themselves (ages, epochs, stations);
    // sourceContent is empty without a source.
    sContentSnapshot content;
    sContentSnapshot sourceContent;

    const PacketStats* Find(std::uint32_t key) const;
    const PacketStats* FindSource(std::uint32_t key) const;
    std::uint32_t InFlight(std::uint32_t key) const;
    // Every key of either side, ascending: the rows of the table.
    std::vector<std::uint32_t> Keys() const;
};

}  // namespace TolvarRT
