#include "stats/stats_row_figures.h"

#include "core/time_base.h"
#include "stats/stats_table_model.h"

namespace TolvarRT {

sRowFigures RowFiguresOf(const PacketStats* record, const PacketStats* sourceRecord)
{
    sRowFigures figures;
    if (sourceRecord != nullptr)
        figures.sourceCount = sourceRecord->frames;
    if (record == nullptr)
        return figures;
    figures.count = record->frames;
    if (sourceRecord != nullptr && sourceRecord->frames != record->sourceOffset)
        figures.percentReceived = record->matched * 100.0 / double(sourceRecord->frames - record->sourceOffset);
    figures.lastSizeBytes = record->lastSize;
    figures.lastIntervalS = SecondsBetween(record->lastTime, record->prevTime);
    figures.lastTimeS = SecondsSinceStart(record->lastTime);
    if (record->latency >= 0.0)
        figures.lastLatencyS = record->latency;
    figures.averageLengthBytes = double(record->totalBytes) / record->frames;
    // Frames that all came at one instant have no rate either.
    const double span = SecondsBetween(record->lastTime, record->firstTime);
    if (record->frames >= 2 && span > 0.0)
        figures.averagePacketsPerS = (record->frames - 1) / span;
    if (record->period > 0.0 && span > 0.0)
        figures.rating = RatingText((record->frames - record->bursts - 1) / span * record->period);
    if (record->latencySamples != 0)
        figures.averageLatencyS = record->latencySum / record->latencySamples;
    return figures;
}

}  // namespace TolvarRT
