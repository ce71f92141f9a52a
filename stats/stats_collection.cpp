// The records of one side of a link test: one per frame type, kept in a
// small hash table, with the period and gap rule judged as frames arrive.
// Matching with the source's frames is in frame_matching.cpp, the summary
// text in stats_summary.cpp.
#include "stats/stats_collection.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "core/time_base.h"
#include "decoders/frame_content.h"
#include "decoders/nmea_position.h"
#include "stats/byte_sum.h"
#include "stats/radio_budget.h"

namespace TolvarRT {
namespace {

constexpr double kBurstInterval = 0.025;  // s: frames closer than this came together

std::atomic<std::uint32_t> generationCounter{0};
std::atomic<std::uint32_t> usedReceiverBits{0};
std::atomic<CStatsCollection*> processSource{nullptr};

std::uint32_t NextGeneration()
{
    return generationCounter.fetch_add(1) + 1;
}

// The lowest free bit of the process-wide register, or 0 when all are taken.
std::uint32_t TakeReceiverBit()
{
    std::uint32_t used = usedReceiverBits.load();
    for (;;) {
        if (used == 0xFFFFFFFFu)
            return 0;
        const std::uint32_t bit = ~used & (used + 1);
        if (usedReceiverBits.compare_exchange_weak(used, used | bit))
            return bit;
    }
}

}  // namespace

CStatsCollection::CStatsCollection(CLogPipe* logPipe, bool source)
    : log(logPipe),
      isSource(source),
      generation(NextGeneration()),
      // A source never matches its frames against another's: it needs no bit.
      receiverBit(source ? 0 : TakeReceiverBit()),
      intervalStart(TimeStampNow()),
      runStart(intervalStart)
{
    if (isSource) {
        CStatsCollection* none = nullptr;
        processSource.compare_exchange_strong(none, this);
    }
}

CStatsCollection::~CStatsCollection()
{
    UnsubscribeAll();
    CStatsCollection* self = this;
    processSource.compare_exchange_strong(self, nullptr);
    Reset();
    usedReceiverBits.fetch_and(~receiverBit);
}

bool CStatsCollection::SubscribeTo(TSubscription<IIncommingCMRPipe>* cmr, TSubscription<IIncommingRTCMPipe>* rtcm,
                                   TSubscription<IIncommingNMEAPipe>* nmea, TSubscription<IIncommingATSPipe>* ats,
                                   TSubscription<IIncommingRTCM3Pipe>* rtcm3)
{
    if (cmr != nullptr && !TSubscriber<IIncommingCMRPipe>::Subscribe(cmr))
        return false;
    if (rtcm != nullptr && !TSubscriber<IIncommingRTCMPipe>::Subscribe(rtcm))
        return false;
    if (nmea != nullptr && !TSubscriber<IIncommingNMEAPipe>::Subscribe(nmea))
        return false;
    if (ats != nullptr && !TSubscriber<IIncommingATSPipe>::Subscribe(ats))
        return false;
    if (rtcm3 != nullptr && !TSubscriber<IIncommingRTCM3Pipe>::Subscribe(rtcm3))
        return false;
    return true;
}

void CStatsCollection::UnsubscribeFrom(bool cmr, bool rtcm)
{
    if (cmr)
        TSubscriber<IIncommingCMRPipe>::Unsubscribe();
    if (rtcm)
        TSubscriber<IIncommingRTCMPipe>::Unsubscribe();
}

void CStatsCollection::UnsubscribeAll()
{
    TSubscriber<IIncommingCMRPipe>::Unsubscribe();
    TSubscriber<IIncommingRTCMPipe>::Unsubscribe();
    TSubscriber<IIncommingRTCM3Pipe>::Unsubscribe();
    TSubscriber<IIncommingNMEAPipe>::Unsubscribe();
    TSubscriber<IIncommingATSPipe>::Unsubscribe();
}

unsigned CStatsCollection::AttachedPipes() const
{
    return unsigned(TSubscriber<IIncommingCMRPipe>::IsSubscribed()) +
           unsigned(TSubscriber<IIncommingRTCMPipe>::IsSubscribed()) +
           unsigned(TSubscriber<IIncommingRTCM3Pipe>::IsSubscribed()) +
           unsigned(TSubscriber<IIncommingNMEAPipe>::IsSubscribed()) +
           unsigned(TSubscriber<IIncommingATSPipe>::IsSubscribed());
}

CStatsCollection* CStatsCollection::GetEffectiveSource() const
{
    CStatsCollection* linked = linkedSource.load();
    return linked != nullptr || linkedOnly.load() ? linked : processSource.load();
}

void CStatsCollection::Reset()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    generation = NextGeneration();
    for (auto& bucket : buckets)
        bucket.clear();
    intervalStart = TimeStampNow();
    runStart = intervalStart;
    health.Reset();
    sentFrames.clear();
    unambiguousTransits.Clear();
    content.Reset();
}

void CStatsCollection::SetMatchWindow(double seconds)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    matchWindowS = seconds;
    keepS = std::max(keepS, seconds);
}

double CStatsCollection::MatchWindow() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return matchWindowS;
}

std::uint32_t CStatsCollection::Generation() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return generation;
}

bool CStatsCollection::HasRecords() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    for (const auto& bucket : buckets)
        if (!bucket.empty())
            return true;
    return false;
}

bool CStatsCollection::NextRecord(int& position, PacketStats& record, bool clearChanged)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    // A position is the 1-based place of a record in table order.
    int total = 0;
    for (const auto& bucket : buckets)
        total += int(bucket.size());
    const int wanted = position < 0 ? 1 : position;
    if (wanted < 1 || wanted > total) {
        position = 0;
        return false;
    }
    int place = 0;
    for (auto& bucket : buckets) {
        if (place + int(bucket.size()) < wanted) {
            place += int(bucket.size());
            continue;
        }
        PacketStats& entry = bucket[std::size_t(wanted - place - 1)];
        record = entry;
        if (clearChanged)
            entry.changed = 0;
        break;
    }
    position = wanted < total ? wanted + 1 : 0;
    return true;
}

bool CStatsCollection::FindRecord(std::uint32_t key, PacketStats& record)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    PacketStats* found = Find(key);
    if (found == nullptr)
        return false;
    found->changed = 0;
    record = *found;
    return true;
}

sStatsSnapshot CStatsCollection::Snapshot(std::optional<TimeStamp> at) const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    sStatsSnapshot snapshot;
    snapshot.records = SortedRecords();
    snapshot.receiverBit = receiverBit;
    const CStatsCollection* source = GetEffectiveSource();
    if (source != nullptr && source != this && !isSource) {
        snapshot.hasSource = true;
        const TimeStamp now = at.value_or(TimeStampNow());
        std::lock_guard<std::recursive_mutex> sourceGuard(source->sharedLock);
        snapshot.sourceRecords = source->SortedRecords();
        snapshot.sourceGeneration = source->generation;
        for (const PacketStats& sent : snapshot.sourceRecords) {
            const auto frames = source->sentFrames.find(sent.key);
            const std::uint32_t pending =
                frames == source->sentFrames.end() ? 0 : frames->second.Pending(receiverBit, now, matchWindowS);
            snapshot.inFlight.push_back(pending);
        }
        snapshot.sourceContent = source->content.Snapshot();
    }
    snapshot.content = content.Snapshot();
    return snapshot;
}

std::vector<PacketStats> CStatsCollection::SortedRecords() const
{
    std::vector<PacketStats> records;
    for (const auto& bucket : buckets)
        records.insert(records.end(), bucket.begin(), bucket.end());
    std::sort(records.begin(), records.end(), [](const PacketStats& a, const PacketStats& b) { return a.key < b.key; });
    return records;
}

PacketStats* CStatsCollection::Find(std::uint32_t key)
{
    for (PacketStats& entry : buckets[(key / 16) % kBuckets])
        if (entry.key == key)
            return &entry;
    return nullptr;
}

const PacketStats* CStatsCollection::Find(std::uint32_t key) const
{
    return const_cast<CStatsCollection*>(this)->Find(key);
}

void CStatsCollection::OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                                  const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    sFrameContent read;
    const std::optional<double> age = ReadCMRContent(type, data, length, read)
                                          ? content.OnContent(FrameKey(kFrameClassCMR, type), read, timeStamp)
                                          : std::nullopt;
    Count(kFrameClassCMR, type, length, ByteSum(data, length), timeStamp, age);
}

void CStatsCollection::OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                                   const TimeStamp& timeStamp)
{
    RecordFrame(kFrameClassCMRW, type, length, ByteSum(data, length), timeStamp);
}

void CStatsCollection::OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                                     const TimeStamp& timeStamp)
{
    const unsigned type = length > 0 ? data[0] : 0;
    RecordFrame(kFrameClassSendTo, type, length, ByteSum(data, length), timeStamp);
}

void CStatsCollection::OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                                   const TimeStamp& timeStamp)
{
    // length counts data words; the stored bytes are 3 per word, the two
    // header words first.
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    sFrameContent read;
    const std::optional<double> age = ReadRTCM2Content(data, length, read)
                                          ? content.OnContent(FrameKey(kFrameClassRTCM2, type), read, timeStamp)
                                          : std::nullopt;
    Count(kFrameClassRTCM2, type, 5u * length, ByteSum(data, 3u * length), timeStamp, age);
}

void CStatsCollection::OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                                    const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    sFrameContent read;
    const std::optional<double> age = ReadRTCM3Content(data, length, read)
                                          ? content.OnContent(FrameKey(kFrameClassRTCM3, type), read, timeStamp)
                                          : std::nullopt;
    Count(kFrameClassRTCM3, type, length, ByteSum(data, length), timeStamp, age);
}

void CStatsCollection::OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                                      const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (position != nullptr && position->valid != 0 && type != kNMEAGGANoPos && type != kNMEAGGKNoPos) {
        // GGK's height is above the ellipsoid; GGA's above the geoid, which no base reports.
        const bool ellipsoidal = type < kNMEAGGANoPos;
        content.SetRoverPosition(position->latitude, position->longitude,
                                 ellipsoidal ? std::optional<double>(position->height) : std::nullopt);
    }
    const std::size_t length = std::strlen(text);
    RecordFrame(kFrameClassNMEA, type, unsigned(length), ByteSum(reinterpret_cast<const std::uint8_t*>(text), length),
                timeStamp);
}

void CStatsCollection::OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                                  const TimeStamp& timeStamp)
{
    RecordFrame(kFrameClassATS, type, length, ByteSum(data, length), timeStamp);
}

void CStatsCollection::RecordFrame(unsigned frameClass, unsigned type, unsigned length, std::uint16_t sum,
                                   const TimeStamp& timeStamp)
{
    Count(frameClass, type, length, sum, timeStamp, std::nullopt);
}

void CStatsCollection::Count(unsigned frameClass, unsigned type, unsigned length, std::uint16_t sum,
                             const TimeStamp& timeStamp, std::optional<double> age)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const std::uint32_t key = FrameKey(frameClass, type);
    PacketStats* record = Find(key);
    bool burst = false;
    if (record != nullptr) {
        record->lastSize = length;
        record->totalBytes += length;
        record->payloadBytes += PayloadBytes(frameClass, length);
        record->airBytes += AirBytes(frameClass, length);
        record->frames += 1;
        record->intervalFrames += 1;
        const double interval = SecondsBetween(timeStamp, record->lastTime);
        if (interval > kBurstInterval) {
            record->sumSquares += interval * interval;
        } else {
            record->bursts += 1;
            burst = true;
        }
        JudgePeriod(*record, interval, timeStamp);
        record->prevSum = record->lastSum;
        record->prevLength = record->lastLength;
        record->prevMatchedBy = record->lastMatchedBy;
        record->prevTime = record->lastTime;
        record->lastTime = timeStamp;
        record->lastSum = sum;
        record->lastLength = std::uint16_t(length);
        record->lastMatchedBy = 0;
        record->changed = 1;
    } else {
        PacketStats created;
        created.key = key;
        created.frames = 1;
        created.intervalFrames = 1;
        created.totalBytes = length;
        created.payloadBytes = PayloadBytes(frameClass, length);
        created.airBytes = AirBytes(frameClass, length);
        created.lastSize = length;
        created.lastSum = sum;
        created.lastLength = std::uint16_t(length);
        created.firstTime = timeStamp;
        created.lastTime = timeStamp;
        created.prevTime = TimeStampNow();
        created.changed = 1;
        auto& bucket = buckets[(key / 16) % kBuckets];
        bucket.insert(bucket.begin(), created);
        record = &bucket.front();
    }
    if (isSource) {
        // A frame no receiver can match (length 0) is not kept.
        if (length != 0)
            sentFrames[key].Add(timeStamp, sum, std::uint16_t(length), keepS, receiversSeen);
    }
    const std::optional<double> transit = Correlate(*record, frameClass, type, length, sum, burst, timeStamp);
    health.OnFrame(key, record->period, timeStamp);
    if (eventSink != nullptr) {
        sLinkEvent event;
        event.source = isSource;
        event.key = key;
        event.time = timeStamp;
        event.length = length;
        event.matched = transit.has_value();
        event.latencyS = transit.value_or(0.0);
        event.hasAge = age.has_value();
        event.ageS = age.value_or(0.0);
        Emit(event);
    }
}

void CStatsCollection::SetEventSink(ILinkEventSink* sink)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    eventSink = sink;
}

void CStatsCollection::OnJudged(sLinkEvent event)
{
    event.source = isSource;
    const std::string name = event.wholeLink ? std::string(isSource ? "Source" : "Listener") : FrameName(event.key);
    const double at = SecondsSinceStart(event.time);
    switch (event.kind) {
    case eLinkEventKind::BeginOutage:
        log.LogAlways("Begin_Outage %s at %0.3f: no frame for %0.1f s", name.c_str(), at, event.durationS);
        break;
    case eLinkEventKind::EndOutage:
        log.LogAlways("End_Outage %s at %0.3f: out for %0.1f s", name.c_str(), at, event.durationS);
        break;
    case eLinkEventKind::BeginCorrupted:
        log.LogAlways("Begin_Corrupted %s at %0.3f: %llu bytes rejected in the run", name.c_str(), at,
                      static_cast<unsigned long long>(event.lostBytes));
        break;
    case eLinkEventKind::EndCorrupted:
        log.LogAlways("End_Corrupted %s at %0.3f: corrupt for %0.1f s, %llu bytes rejected in the run", name.c_str(),
                      at, event.durationS, static_cast<unsigned long long>(event.lostBytes));
        break;
    case eLinkEventKind::Frame:
    case eLinkEventKind::StationChanged:
    case eLinkEventKind::EpochsLost: break;
    }
    Emit(event);
}

void CStatsCollection::CheckHealth(TimeStamp now)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    health.Check(now);
    content.CheckEpochs(now);
}

void CStatsCollection::RecordRejected(std::uint64_t bytes, TimeStamp time)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    health.OnRejected(bytes, time);
}

std::vector<sOutage> CStatsCollection::Outages(std::optional<TimeStamp> now) const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return health.Outages(now.value_or(TimeStampNow()));
}

sHealthCounts CStatsCollection::HealthCounts(std::optional<TimeStamp> now) const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return health.Counts(now.value_or(TimeStampNow()));
}

TimeStamp CStatsCollection::RunStart() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return runStart;
}

sContentSnapshot CStatsCollection::ContentSnapshot() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return content.Snapshot();
}

void CStatsCollection::SetRoverPosition(double latitude, double longitude, std::optional<double> ellipsoidHeight)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    content.SetRoverPosition(latitude, longitude, ellipsoidHeight);
}

void CStatsCollection::SetArrivalClock(CStreamContent::ArrivalClock clock)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    content.SetArrivalClock(std::move(clock));
}

void CStatsCollection::OnContentEvent(sLinkEvent event)
{
    event.source = isSource;
    Emit(event);
}

void CStatsCollection::Emit(const sLinkEvent& event)
{
    if (eventSink != nullptr)
        eventSink->OnLinkEvent(event);
}

// The period is re-estimated, and a gap judged, on every eighth frame that is
// not a burst once there are more than 15 of them.
void CStatsCollection::JudgePeriod(PacketStats& record, double interval, const TimeStamp& timeStamp)
{
    const std::uint32_t spaced = record.frames - record.bursts;
    if (spaced <= 15 || spaced % 8 != 0)
        return;
    const double n = spaced - 1;
    const double elapsed = SecondsBetween(timeStamp, record.firstTime);
    const double mean = elapsed / n;
    const double variance = std::max(0.0, (n * record.sumSquares - elapsed * elapsed) / (n * (n - 1)));
    const double spread = std::sqrt(variance) / mean;
    if (mean > 0.0 && spread < record.bestSpread) {
        if (mean > 0.9 && spread < 0.1) {
            record.period = std::floor(mean * 1.01);
            record.bestSpread = spread;
        } else if (spread < 0.4) {
            // A type slower than one frame in two seconds has no whole rate
            // per second; its period stays as it was.
            const double rate = std::floor(1.0 / mean + 0.5);
            if (rate >= 1.0) {
                record.period = 1.0 / rate;
                record.bestSpread = spread;
            }
        }
    }
    if (record.period == 0.0)
        return;
    const double ratio = interval / record.period;
    if (ratio > 1.3) {
        const auto missed = std::uint32_t(ratio - 0.5);
        log.LogAlways("Lost %d Packets ", int(missed));
        if (ratio >= 2.3)
            record.lost += missed;
        else
            record.late += 1;
    }
}

}  // namespace TolvarRT
