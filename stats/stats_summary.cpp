// The summary text of a statistics collection: per frame type, the run's or
// the interval's counts, rates and latencies, then the link's outages and
// corruption.
#include <cmath>
#include <cstdio>
#include <mutex>

#include "core/string_format.h"
#include "core/time_base.h"
#include "stats/stats_collection.h"

namespace TolvarRT {
namespace {

long WholeSeconds(TimeStamp from, TimeStamp to)
{
    return std::lround(SecondsBetween(to, from));
}

// The average rate of a record's frames; 0 with fewer than two frames or when
// they all came at one instant.
double AverageRate(const PacketStats& record)
{
    const double span = SecondsBetween(record.lastTime, record.firstTime);
    return record.frames < 2 || span <= 0.0 ? 0.0 : (record.frames - 1) / span;
}

// "Latency ms: min ..., median ..." of the matched frames, when there are any.
void LatencyLine(const CLatencyHistogram& transits, std::string& text)
{
    if (transits.Count() == 0)
        return;
    const sLatencyDistribution d = transits.Distribution();
    text += StringPrintf("\r\n\t\t\t\t Latency ms: min %0.1f, median %0.1f, 95%% %0.1f, max %0.1f, RMS %0.1f",
                         d.minS * 1000.0, d.medianS * 1000.0, d.p95S * 1000.0, d.maxS * 1000.0, d.rmsS * 1000.0);
}

}  // namespace

std::string CStatsCollection::Summary(bool interval, std::optional<TimeStamp> at)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const TimeStamp now = at.value_or(TimeStampNow());
    const long seconds = WholeSeconds(intervalStart, now);
    std::string text = "\r\n\r\nSummary of Packets received\r\n";
    unsigned long total = 0;
    char line[256];
    for (auto& bucket : buckets) {
        for (PacketStats& record : bucket) {
            text += "\r\n    ";
            text += FrameName(record.key);
            std::snprintf(line, sizeof line, ", Received %5d, Average Size %5.1f bytes, Average Pkts/s %2.3f",
                          int(record.frames), double(record.totalBytes) / record.frames, AverageRate(record));
            text += line;
            total += record.frames;
            if (interval) {
                // Within half a second of the interval start there is no rate yet.
                const double rate = seconds > 0 ? double(record.intervalFrames) / double(seconds) : 0.0;
                std::snprintf(line, sizeof line, "\r\n\t\t\t\t This Interval %f", rate);
                text += line;
                LatencyLine(record.intervalTransits, text);
                if (record.intervalUnmatched != 0) {
                    std::snprintf(line, sizeof line, " Unmatched Packets %d", int(record.intervalUnmatched));
                    text += line;
                }
                // The run's unmatched count stays: only the interval's starts again.
                record.intervalFrames = 0;
                record.intervalUnmatched = 0;
                record.intervalTransits.Clear();
            } else {
                LatencyLine(record.transits, text);
            }
            if (const std::uint64_t outages = health.OutagesOf(record.key); outages != 0) {
                std::snprintf(line, sizeof line, "\r\n\t\t\t\t Outages %llu", static_cast<unsigned long long>(outages));
                text += line;
            }
        }
    }
    std::snprintf(line, sizeof line, "\r\n\r\n  Received a Total of %d Packets\r\n", int(total));
    text += line;
    HealthSummary(text, now);
    if (interval)
        intervalStart = now;
    return text;
}

void CStatsCollection::HealthSummary(std::string& text, TimeStamp now) const
{
    const sHealthCounts counts = health.Counts(now);
    if (counts.typeOutages + counts.linkOutages + counts.corruptedSpells + counts.rejectedBytes == 0)
        return;
    text += StringPrintf("  Outages: %llu of frame types, %llu of the whole link (%0.1f s)\r\n",
                         static_cast<unsigned long long>(counts.typeOutages),
                         static_cast<unsigned long long>(counts.linkOutages), counts.outageSeconds);
    text += StringPrintf("  Corrupted %llu times (%0.1f s), %llu bytes rejected\r\n",
                         static_cast<unsigned long long>(counts.corruptedSpells), counts.corruptedSeconds,
                         static_cast<unsigned long long>(counts.rejectedBytes));
}

double CStatsCollection::IntervalRate(unsigned type, unsigned frameClass, std::optional<TimeStamp> at) const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const PacketStats* record = Find(FrameKey(frameClass, type));
    if (record == nullptr)
        return 0.0;
    const long seconds = WholeSeconds(intervalStart, at.value_or(TimeStampNow()));
    return seconds > 0 ? double(record->intervalFrames) / double(seconds) : 0.0;
}

}  // namespace TolvarRT
