#include "stats/stats_table_model.h"

#include <algorithm>

#include "core/string_format.h"
#include "stats/stats_row_figures.h"

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

std::string Cell(const char* format, const std::optional<double>& value)
{
    return value ? StringPrintf(format, *value) : std::string(kNotAvailable);
}

// The run's latency distribution in milliseconds; "n/a" until a frame matched.
void LatencyCells(const CLatencyHistogram& transits, std::array<std::string, kAllStatsColumns>& cells)
{
    const sLatencyDistribution d = transits.Distribution();
    const auto cell = [&](double seconds) {
        return d.count != 0 ? StringPrintf("%0.1f", seconds * 1000.0) : std::string(kNotAvailable);
    };
    cells[kColumnLatencyMin] = cell(d.minS);
    cells[kColumnLatencyMedian] = cell(d.medianS);
    cells[kColumnLatency95] = cell(d.p95S);
    cells[kColumnLatencyMax] = cell(d.maxS);
    cells[kColumnLatencyRms] = cell(d.rmsS);
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
        "Packet Type Received", "Rating",     "Count",         "Source Count",
        "% Received",           "Last Size",  "Last Interval", "Last Time",
        "Last Latency (ms)",    "Avg Length", "Avg Pkts/s",    "Avg Latency"};
    return headers;
}

const std::array<const char*, kAllStatsColumns>& CStatsTableModel::AllColumnHeaders()
{
    static const std::array<const char*, kAllStatsColumns> headers = [] {
        std::array<const char*, kAllStatsColumns> all{};
        std::copy(ColumnHeaders().begin(), ColumnHeaders().end(), all.begin());
        all[kColumnLatencyMin] = "Min Latency (ms)";
        all[kColumnLatencyMedian] = "Median Latency (ms)";
        all[kColumnLatency95] = "95% Latency (ms)";
        all[kColumnLatencyMax] = "Max Latency (ms)";
        all[kColumnLatencyRms] = "RMS Latency (ms)";
        return all;
    }();
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

bool CStatsTableModel::NoteGenerations(const CStatsCollection& receiver, const CStatsCollection* source)
{
    const std::uint32_t nowReceiver = receiver.Generation();
    const std::uint32_t nowSource = source != nullptr ? source->Generation() : 0;
    // A receiver that turns to another source (the Source disconnected) keeps
    // its rows: only a reset empties the collections.
    const bool reset = nowReceiver != receiverGeneration || (source == lastSource && nowSource != sourceGeneration);
    receiverGeneration = nowReceiver;
    lastSource = source;
    sourceGeneration = nowSource;
    return reset;
}

void CStatsTableModel::Refresh(CStatsCollection& receiver)
{
    CStatsCollection* source = receiver.GetEffectiveSource();
    const bool linked = receiver.GetSource() != nullptr;
    std::lock_guard<std::mutex> guard(rowsLock);

    // After a reset every record is read, changed or not: one read by the
    // refresh that the reset overtook has had its flag cleared already.
    const bool reset = NoteGenerations(receiver, source);
    if (reset)
        rows.clear();

    PacketStats record;
    if (source != nullptr && source->HasRecords()) {
        int position = -1;
        while (position != 0 && source->NextRecord(position, record, linked)) {
            if (record.changed || !linked || reset)
                RowFor(record.key).cells[kColumnSourceCount] = StringPrintf("%d", int(record.frames));
        }
    }
    if (!receiver.HasRecords())
        return;
    int position = -1;
    while (position != 0 && receiver.NextRecord(position, record, true)) {
        if (!record.changed && !reset)
            continue;
        PacketStats sourceRecord;
        const bool inSource = source != nullptr && source->FindRecord(record.key, sourceRecord);
        const sRowFigures figures = RowFiguresOf(&record, inSource ? &sourceRecord : nullptr);
        auto& cells = RowFor(record.key).cells;
        // FindRecord has just cleared the source record's flag: a frame it
        // counted since the loop above would not be shown until its next one.
        if (inSource)
            cells[kColumnSourceCount] = StringPrintf("%d", int(sourceRecord.frames));
        cells[kColumnCount] = StringPrintf("%d", int(*figures.count));
        cells[kColumnReceived] = Cell("%0.2f%%", figures.percentReceived);
        cells[kColumnLastSize] = StringPrintf("%d", int(*figures.lastSizeBytes));
        cells[kColumnLastInterval] = Cell("%0.3f", figures.lastIntervalS);
        cells[kColumnLastTime] = Cell("%0.3fs", figures.lastTimeS);
        cells[kColumnLastLatency] =
            figures.lastLatencyS ? StringPrintf("%03d ms", int(*figures.lastLatencyS * 1000.0)) : kNotAvailable;
        cells[kColumnAverageLength] = Cell("%0.1f", figures.averageLengthBytes);
        cells[kColumnAverageRate] = Cell("%0.3f", figures.averagePacketsPerS);
        cells[kColumnRating] = figures.rating != nullptr ? figures.rating : kNotAvailable;
        cells[kColumnAverageLatency] = Cell("%0.3fs", figures.averageLatencyS);
        LatencyCells(record.transits, cells);
    }
}

std::vector<sStatsRow> CStatsTableModel::Rows() const
{
    std::lock_guard<std::mutex> guard(rowsLock);
    return rows;
}

}  // namespace TolvarRT
