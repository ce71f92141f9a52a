#include "stats/link_health.h"

#include <algorithm>

namespace TolvarRT {

CLinkHealth::CLinkHealth(Judged judged, sHealthThresholds chosen) : onEvent(std::move(judged)), thresholds(chosen) {}

void CLinkHealth::Reset()
{
    types.clear();
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

double CLinkHealth::FastestPeriod() const
{
    double fastest = 0.0;
    for (const auto& [key, stream] : types)
        if (stream.period > 0.0 && (fastest == 0.0 || stream.period < fastest))
            fastest = stream.period;
    return fastest;
}

void CLinkHealth::OnFrame(std::uint32_t key, double period, TimeStamp time)
{
    Arrive(types[key], false, key, period, time);
    Arrive(link, true, 0, FastestPeriod(), time);
    if (corrupted && !goodAfterRejected && time >= lastRejected)
        goodAfterRejected = time;
    JudgeCorruptionEnd(time);
}

void CLinkHealth::Arrive(sStream& stream, bool wholeLink, std::uint32_t key, double period, TimeStamp time)
{
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
