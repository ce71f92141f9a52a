#include "stats/stats_snapshot.h"

#include <algorithm>

namespace TolvarRT {
namespace {

const PacketStats* FindIn(const std::vector<PacketStats>& records, std::uint32_t key)
{
    const auto at =
        std::lower_bound(records.begin(), records.end(), key,
                         [](const PacketStats& record, std::uint32_t wanted) { return record.key < wanted; });
    return at != records.end() && at->key == key ? &*at : nullptr;
}

}  // namespace

const PacketStats* sStatsSnapshot::Find(std::uint32_t key) const
{
    return FindIn(records, key);
}

const PacketStats* sStatsSnapshot::FindSource(std::uint32_t key) const
{
    return FindIn(sourceRecords, key);
}

std::uint32_t sStatsSnapshot::InFlight(std::uint32_t key) const
{
    const PacketStats* source = FindSource(key);
    if (source == nullptr)
        return 0;
    const std::size_t index = std::size_t(source - sourceRecords.data());
    return index < inFlight.size() ? inFlight[index] : 0;
}

std::vector<std::uint32_t> sStatsSnapshot::Keys() const
{
    std::vector<std::uint32_t> keys;
    keys.reserve(records.size() + sourceRecords.size());
    for (const PacketStats& record : records)
        keys.push_back(record.key);
    for (const PacketStats& record : sourceRecords)
        keys.push_back(record.key);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

}  // namespace TolvarRT
