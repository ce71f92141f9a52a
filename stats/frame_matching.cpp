// Matching a receiver's frames with the frames its source sent: a received
// frame is the source's frame of equal type, length and byte sum, sent within
// the match window, that this receiver has not matched yet. The transits of
// the matches are what the link's latency figures are made of.
#include <algorithm>
#include <mutex>

#include "core/time_base.h"
#include "stats/stats_collection.h"

namespace TolvarRT {

std::optional<double> CStatsCollection::Correlate(PacketStats& record, unsigned frameClass, unsigned type,
                                                  unsigned length, std::uint16_t sum, bool burst,
                                                  const TimeStamp& timeStamp)
{
    CStatsCollection* source = GetEffectiveSource();
    if (source == nullptr || source == this || isSource) {
        record.latency = -1.0;
        return std::nullopt;
    }
    if (receiverBit == 0) {
        if (!toldNoReceiverBit) {
            log.LogAlways("More than 32 statistics collections: frames are counted but not matched");
            toldNoReceiverBit = true;
        }
        record.latency = -1.0;
        return std::nullopt;
    }
    const std::uint32_t sourceGeneration = source->Generation();
    if (record.syncGeneration != sourceGeneration) {
        record.latencySum = 0.0;
        record.matched = 0;
        record.unmatched = 0;
        record.latencySamples = 0;
        record.syncGeneration = 0;
        record.intervalUnmatched = 0;
        record.lateArrivals = 0;
        record.transitSum = 0.0;
        record.transits.Clear();
        record.intervalTransits.Clear();
        record.recentTransits.Clear();
    }
    double sourcePeriod = 0.0;
    std::optional<double> matchedTransit;
    std::optional<sSentMatch> match;
    if (length != 0)
        match = source->MatchFrame(record.key, sum, std::uint16_t(length), receiverBit, timeStamp, matchWindowS,
                                   sExpectedTransit{&unambiguousTransits, &record.recentTransits}, sourcePeriod);
    if (match) {
        const double transit = SecondsBetween(timeStamp, match->sentAt);
        if (!match->ambiguous)
            unambiguousTransits.Add(transit);
        record.recentTransits.Add(transit);
        if (!burst) {
            record.latency = transit;
            record.latencySamples += 1;
            record.latencySum += record.latency;
        }
        record.transitMin = record.matched == 0 ? transit : std::min(record.transitMin, transit);
        record.transitMax = record.matched == 0 ? transit : std::max(record.transitMax, transit);
        record.transitSum += transit;
        record.transits.Add(transit);
        record.intervalTransits.Add(transit);
        if (sourcePeriod > 0.0 && transit > sourcePeriod)
            record.lateArrivals += 1;
        record.matched += 1;
        matchedTransit = transit;
        log.LogBasic("\tPacket Latency %0.4f", record.latency);
    } else {
        log.LogMost("\tNo Packet Correlation for Class %d Type %d", int(frameClass), int(type));
        record.unmatched += 1;
        record.intervalUnmatched += 1;
        record.latency = -1.0;
    }
    if (record.syncGeneration == 0) {
        record.syncGeneration = sourceGeneration;
        // Read in place: FindRecord would clear the source record's changed
        // flag and hold back its count from the table's next refresh.
        std::lock_guard<std::recursive_mutex> sourceGuard(source->sharedLock);
        if (const PacketStats* sourceRecord = source->Find(record.key))
            record.sourceOffset = sourceRecord->frames - record.matched;
    }
    return matchedTransit;
}

std::optional<sSentMatch> CStatsCollection::MatchFrame(std::uint32_t key, std::uint16_t sum, std::uint16_t length,
                                                       std::uint32_t bit, TimeStamp receivedAt, double windowS,
                                                       const sExpectedTransit& expected, double& sourcePeriod)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    PacketStats* record = Find(key);
    const auto frames = sentFrames.find(key);
    if (record == nullptr || frames == sentFrames.end())
        return std::nullopt;
    sourcePeriod = record->period;
    receiversSeen |= bit;
    keepS = std::max(keepS, windowS);
    const std::optional<sSentMatch> match = frames->second.Match(sum, length, bit, receivedAt, windowS, expected);
    // The record's own marks of its last two frames stay true to what was matched.
    if (match && match->sentAt == record->lastTime)
        record->lastMatchedBy |= bit;
    else if (match && match->sentAt == record->prevTime)
        record->prevMatchedBy |= bit;
    return match;
}

}  // namespace TolvarRT
