#include "stats/link_health.h"

#include <algorithm>
#include <cmath>

namespace TolvarRT {

CLinkHealth::CLinkHealth(Judged judged, sHealthThresholds chosen) : onEvent(std::move(judged)), thresholds(chosen) {}

void CLinkHealth::Reset()
{
    types.clear();
    fastestPeriod.reset();
    link = sStream();
    outages.clear();
    corrupted = false;
    corruptedSince = 0;
    lastRejected = 0;
    goodAfterRejected.reset();
    corruptedSpells = 0;
    corruptedSeconds = 0.0;
    rejectedBytes = 0;
}

double CLinkHealth::FailureS(double period) const
{
    return std::max(thresholds.minimumFailureS, thresholds.failurePeriods * period);
}

double CLinkHealth::RecoveryS(double period) const
{
    return thresholds.recoveryPeriods * period;
}

double ProvisionalPeriod(std::vector<double> intervals)
{
    if (intervals.empty())
        return 0.0;
    std::nth_element(intervals.begin(), intervals.begin() + std::ptrdiff_t(intervals.size() / 2), intervals.end());
    const double median = intervals[intervals.size() / 2];
    if (median * 1.01 >= 1.0)
        return std::floor(median * 1.01);
    const double rate = std::floor(1.0 / median + 0.5);
    return rate >= 1.0 ? 1.0 / rate : 0.0;
}

double CLinkHealth::FastestPeriod() const
{
    if (fastestPeriod)
        return *fastestPeriod;
    double known = 0.0;
    double provisional = 0.0;
    const auto faster = [](double& fastest, double period) {
        if (period > 0.0 && (fastest == 0.0 || period < fastest))
            fastest = period;
    };
    for (const auto& [key, stream] : types) {
        faster(known, stream.period);
        faster(provisional, stream.provisional);
    }
    fastestPeriod = known > 0.0 ? known : provisional;
    return *fastestPeriod;
}

void CLinkHealth::OnFrame(std::uint32_t key, double period, TimeStamp time)
{
    sStream& type = types[key];
    // Frames closer than this came together (as the collection counts bursts).
    constexpr double kBurstS = 0.025;
    if (type.seen && type.intervalsSeen < kProvisionalIntervals) {
        const double interval = SecondsBetween(time, type.lastFrame);
        if (interval > kBurstS)
            type.firstIntervals[type.intervalsSeen++] = interval;
        if (type.intervalsSeen == kProvisionalIntervals) {
            type.provisional = ProvisionalPeriod({type.firstIntervals.begin(), type.firstIntervals.end()});
            fastestPeriod.reset();
        }
    }
    Arrive(type, false, key, period, time);
    Arrive(link, true, 0, FastestPeriod(), time);
    if (corrupted && !goodAfterRejected && time >= lastRejected)
        goodAfterRejected = time;
    JudgeCorruptionEnd(time);
}

void CLinkHealth::Arrive(sStream& stream, bool wholeLink, std::uint32_t key, double period, TimeStamp time)
{
    if (!wholeLink && stream.period != period)
        fastestPeriod.reset();
    stream.period = period;
    JudgeGap(stream, wholeLink, key, period, time);
    if (stream.out) {
        if (!stream.resumed)
            stream.resumed = time;
        if (SecondsBetween(time, *stream.resumed) >= RecoveryS(period)) {
            sOutage& outage = outages[stream.outage];
            outage.end = *stream.resumed;
            outage.durationS = SecondsBetween(*stream.resumed, outage.start);
            stream.out = false;
            stream.resumed.reset();
            Tell(eLinkEventKind::EndOutage, wholeLink, key, time, outage.durationS);
        }
    }
    stream.lastFrame = time;
    stream.seen = true;
}

void CLinkHealth::JudgeGap(sStream& stream, bool wholeLink, std::uint32_t key, double period, TimeStamp now)
{
    if (!stream.seen || period <= 0.0)
        return;
    const double gap = SecondsBetween(now, stream.lastFrame);
    if (gap < FailureS(period))
        return;
    if (stream.out) {
        // Frames came again, but not for long enough: the outage goes on.
        stream.resumed.reset();
        return;
    }
    stream.out = true;
    stream.outage = outages.size();
    ++stream.outages;
    sOutage outage;
    outage.wholeLink = wholeLink;
    outage.key = key;
    outage.start = stream.lastFrame;
    outages.push_back(outage);
    Tell(eLinkEventKind::BeginOutage, wholeLink, key, now, gap);
}

void CLinkHealth::OnRejected(std::uint64_t bytes, TimeStamp time)
{
    if (bytes == 0)
        return;
    rejectedBytes += bytes;
    lastRejected = std::max(lastRejected, time);
    goodAfterRejected.reset();
    if (corrupted)
        return;
    corrupted = true;
    corruptedSince = time;
    ++corruptedSpells;
    Tell(eLinkEventKind::BeginCorrupted, true, 0, time, 0.0);
}

void CLinkHealth::JudgeCorruptionEnd(TimeStamp now)
{
    if (!corrupted || !goodAfterRejected)
        return;
    const double recovery = std::max(thresholds.minimumCorruptionRecoveryS, RecoveryS(FastestPeriod()));
    if (SecondsBetween(now, lastRejected) < recovery)
        return;
    corrupted = false;
    const double duration = SecondsBetween(*goodAfterRejected, corruptedSince);
    corruptedSeconds += duration;
    Tell(eLinkEventKind::EndCorrupted, true, 0, now, duration);
}

void CLinkHealth::Check(TimeStamp now)
{
    for (auto& [key, stream] : types)
        JudgeGap(stream, false, key, stream.period, now);
    JudgeGap(link, true, 0, FastestPeriod(), now);
    JudgeCorruptionEnd(now);
}

void CLinkHealth::Tell(eLinkEventKind kind, bool wholeLink, std::uint32_t key, TimeStamp time, double durationS)
{
    sLinkEvent event;
    event.kind = kind;
    event.wholeLink = wholeLink;
    event.key = key;
    event.time = time;
    event.durationS = durationS;
    event.lostBytes = rejectedBytes;
    onEvent(event);
}

std::vector<sOutage> CLinkHealth::Outages(TimeStamp now) const
{
    std::vector<sOutage> listed = outages;
    for (sOutage& outage : listed)
        if (!outage.end)
            outage.durationS = std::max(0.0, SecondsBetween(now, outage.start));
    return listed;
}

sHealthCounts CLinkHealth::Counts(TimeStamp now) const
{
    sHealthCounts counts;
    for (const auto& [key, stream] : types)
        counts.typeOutages += stream.outages;
    counts.linkOutages = link.outages;
    for (const sOutage& outage : Outages(now))
        if (outage.wholeLink)
            counts.outageSeconds += outage.durationS;
    counts.corruptedSpells = corruptedSpells;
    counts.rejectedBytes = rejectedBytes;
    counts.corruptedSeconds = corruptedSeconds + (corrupted ? std::max(0.0, SecondsBetween(now, corruptedSince)) : 0.0);
    return counts;
}

std::uint64_t CLinkHealth::OutagesOf(std::uint32_t key) const
{
    if (key == 0)
        return link.outages;
    const auto found = types.find(key);
    return found == types.end() ? 0 : found->second.outages;
}

bool LinkWasOutBetween(const std::vector<sOutage>& outages, TimeStamp from, TimeStamp to)
{
    for (const sOutage& outage : outages)
        if (outage.wholeLink && outage.start <= to && (!outage.end || *outage.end >= from))
            return true;
    return false;
}

}  // namespace TolvarRT
