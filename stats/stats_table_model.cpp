#include "stats/stats_table_model.h"

#include <algorithm>

#include "core/string_format.h"
#include "ports/time_base.h"

namespace TolvarRT {
namespace {

const char* const kNotAvailable = "n/a";

int ClassIcon(unsigned frameClass)
{
    switch (frameClass) {
    case kFrameClassCMR: return 0;
    case kFrameClassRTCM2: return 1;
    case kFrameClassNMEA: return 2;
    case kFrameClassATS: return 3;
    case kFrameClassRTCM3: return 4;
    case kFrameClassCMRW: return 5;
    default: return -1;
    }
}

}  // namespace

const char* RatingText(double ratio)
{
    if (ratio > 0.9995)
        return "Perfect";
    if (ratio > 0.98)
        return "Very Good";
    if (ratio > 0.96)
        return "Good";
    if (ratio > 0.93)
        return "not so good";
    if (ratio > 0.85)
        return "Poor";
    return "Crap";
}

const std::array<const char*, kStatsColumns>& CStatsTableModel::ColumnHeaders()
{
    static const std::array<const char*, kStatsColumns> headers = {
        "Packet Type Received", "Rating",        "Count",      "Source Count",
        "% Received",           "Last Size",     "Last Interval", "Last Time",
        "Last Latency (ms)",    "Avg Length",    "Avg Pkts/s", "Avg Latency"};
    return headers;
}

sStatsRow& CStatsTableModel::RowFor(std::uint32_t key)
{
    auto at = std::lower_bound(rows.begin(), rows.end(), key,
                               [](const sStatsRow& row, std::uint32_t wanted) { return row.key < wanted; });
    if (at != rows.end() && at->key == key)
        return *at;
    sStatsRow row;
    row.key = key;
    row.icon = ClassIcon(KeyClass(key));
    row.cells.fill(kNotAvailable);
    row.cells[kColumnName] = FrameName(key);
    return *rows.insert(at, std::move(row));
}

void CStatsTableModel::Refresh(CStatsCollection& receiver)
{
    CStatsCollection* source = receiver.GetEffectiveSource();
    const bool linked = receiver.GetSource() != nullptr;
    std::lock_guard<std::mutex> guard(rowsLock);

    PacketStats record;
    if (source != nullptr && source->HasRecords()) {
        int position = -1;
        while (position != 0 && source->NextRecord(position, record, linked)) {
            if (record.changed || !linked)
                RowFor(record.key).cells[kColumnSourceCount] = StringPrintf("%d", int(record.frames));
        }
    }
    if (!receiver.HasRecords())
        return;
    int position = -1;
    while (position != 0 && receiver.NextRecord(position, record, true)) {
        if (!record.changed)
            continue;
        auto& cells = RowFor(record.key).cells;
        cells[kColumnCount] = StringPrintf("%d", int(record.frames));

        PacketStats sourceRecord;
        if (source != nullptr && source->FindRecord(record.key, sourceRecord) &&
            sourceRecord.frames != record.sourceOffset) {
            cells[kColumnReceived] =
                StringPrintf("%0.2f%%", record.matched * 100.0 / double(sourceRecord.frames - record.sourceOffset));
        } else {
            cells[kColumnReceived] = kNotAvailable;
        }
        cells[kColumnLastSize] = StringPrintf("%d", int(record.lastSize));
        cells[kColumnLastInterval] = StringPrintf("%0.3f", SecondsBetween(record.lastTime, record.prevTime));
        cells[kColumnLastTime] = StringPrintf("%0.3fs", SecondsSinceStart(record.lastTime));
        cells[kColumnLastLatency] =
            record.latency >= 0.0 ? StringPrintf("%03d ms", int(record.latency * 1000.0)) : kNotAvailable;
        cells[kColumnAverageLength] = StringPrintf("%0.1f", double(record.totalBytes) / record.frames);

        // Frames that all came at one instant have no rate either.
        const double span = SecondsBetween(record.lastTime, record.firstTime);
        cells[kColumnAverageRate] =
            record.frames >= 2 && span > 0.0 ? StringPrintf("%0.3f", (record.frames - 1) / span) : kNotAvailable;
        cells[kColumnRating] =
            record.period > 0.0 && span > 0.0
                ? RatingText((record.frames - record.bursts - 1) / span * record.period)
                : kNotAvailable;
        cells[kColumnAverageLatency] = record.latencySamples != 0
                                           ? StringPrintf("%0.3fs", record.latencySum / record.latencySamples)
                                           : kNotAvailable;
    }
}

std::vector<sStatsRow> CStatsTableModel::Rows() const
{
    std::lock_guard<std::mutex> guard(rowsLock);
    return rows;
}

}  // namespace TolvarRT
