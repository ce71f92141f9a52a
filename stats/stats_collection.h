// Per-frame-type statistics of one side of a link test, and the correlation
// of every received frame with the same frame on the source side.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "stats/link_event.h"
#include "stats/link_health.h"
#include "stats/packet_stats.h"
#include "stats/sent_frames.h"
#include "stats/stats_snapshot.h"
#include "stats/stream_content.h"

namespace TolvarRT {

// Thread rules: frames arrive on port reader threads and generator threads;
// readers (the table model, the summary timer) run on the user-interface
// thread. Every operation takes the collection's lock; a receiver that
// correlates takes its own lock, then its source's.
class CStatsCollection : public TSubscriber<IIncommingCMRPipe>,
                         public TSubscriber<IIncommingRTCMPipe>,
                         public TSubscriber<IIncommingRTCM3Pipe>,
                         public TSubscriber<IIncommingNMEAPipe>,
                         public TSubscriber<IIncommingATSPipe> {
public:
    CStatsCollection(CLogPipe* logPipe, bool isSource);
    ~CStatsCollection() override;

    // Subscribes to each publisher that is not null, in this order, replacing
    // an earlier subscription of the same kind; false at the first failure.
    bool SubscribeTo(TSubscription<IIncommingCMRPipe>* cmr, TSubscription<IIncommingRTCMPipe>* rtcm,
                     TSubscription<IIncommingNMEAPipe>* nmea, TSubscription<IIncommingATSPipe>* ats,
                     TSubscription<IIncommingRTCM3Pipe>* rtcm3);
    void UnsubscribeFrom(bool cmr, bool rtcm);
    // Detaches from every publisher.
    void UnsubscribeAll();
    // How many of the five pipes this collection is attached to.
    unsigned AttachedPipes() const;

    void SetSource(CStatsCollection* source) { linkedSource.store(source); }
    CStatsCollection* GetSource() const { return linkedSource.load(); }
    // The linked source, or the process-wide one when none is linked.
    CStatsCollection* GetEffectiveSource() const;
    // From now on only a linked source counts: where several tests share the
    // process, a link without a Source of its own must not match another's.
    void UseLinkedSourceOnly() { linkedOnly.store(true); }

    // How long after it was sent a source frame may still be matched; after
    // that it is missed. On a receiver it judges its matches, on a source it
    // is (at least) how long sent frames are kept.
    static constexpr double kDefaultMatchWindowS = 30.0;
    void SetMatchWindow(double seconds);
    double MatchWindow() const;

    // Starts a new generation: every receiver of this source resynchronises.
    void Reset();
    bool HasRecords() const;
    // Walks the records in table order: position -1 starts, 0 after the last.
    bool NextRecord(int& position, PacketStats& record, bool clearChanged);
    bool FindRecord(std::uint32_t key, PacketStats& record);
    // Every record of this collection and of its effective source, read
    // together (this lock, then the source's) and changing nothing: for every
    // reader but the table's refresh, which alone clears changed.
    // Frames still in flight are judged at now.
    sStatsSnapshot Snapshot(std::optional<TimeStamp> now = std::nullopt) const;
    std::string Summary(bool interval, std::optional<TimeStamp> now = std::nullopt);
    double IntervalRate(unsigned type, unsigned frameClass, std::optional<TimeStamp> now = std::nullopt) const;
    // Runs read under this collection's lock, so that several readings (the
    // chart value and the summary of one interval) see the same frames.
    template <class Read>
    void ReadTogether(Read&& read) const
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        read();
    }

    // Every counted frame (and, where judged, every outage or corruption) goes
    // to this sink as well; null stops it. The sink must outlive its use here.
    void SetEventSink(ILinkEventSink* sink);

    // Lets time pass without frames: outages are judged by it as well as by
    // arriving frames. The owner calls it periodically (about once a second).
    void CheckHealth(TimeStamp now);
    // Bytes of this side's stream that no decoder could use, counted by its
    // byte pipe: what corruption is judged from.
    void RecordRejected(std::uint64_t bytes, TimeStamp time);
    // The outages judged so far, in the order they began; durations of those
    // still going on run to now.
    std::vector<sOutage> Outages(std::optional<TimeStamp> now = std::nullopt) const;
    sHealthCounts HealthCounts(std::optional<TimeStamp> now = std::nullopt) const;
    // When the run began: construction or the last Reset.
    TimeStamp RunStart() const;

    // What this side's frames told about themselves; in Snapshot as well.
    sContentSnapshot ContentSnapshot() const;
    // The rover's position (WGS 84 degrees, ellipsoidal height m when known):
    // the baseline from each base station is measured to it. A side's own
    // GGA and GGK sentences with a fix set it too.
    void SetRoverPosition(double latitude, double longitude, std::optional<double> ellipsoidHeight);
    // When the frames arrived in host UTC, for replays that know it better
    // than the time base.
    void SetArrivalClock(CStreamContent::ArrivalClock clock);

    bool IsSource() const { return isSource; }
    std::uint32_t Generation() const;
    // How many receivers of one process can match at once: one bit each.
    static constexpr unsigned kMaxReceivers = 32;
    std::uint32_t ReceiverBit() const { return receiverBit; }

    // IIncommingCMRPipe
    void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                    const TimeStamp& timeStamp) override;
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                     const TimeStamp& timeStamp) override;
    void OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                       const TimeStamp& timeStamp) override;
    // IIncommingRTCMPipe, IIncommingRTCM3Pipe, IIncommingNMEAPipe, IIncommingATSPipe
    void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                     const TimeStamp& timeStamp) override;
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TimeStamp& timeStamp) override;
    void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                        const TimeStamp& timeStamp) override;
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& timeStamp) override;

    virtual void RecordFrame(unsigned frameClass, unsigned type, unsigned length, std::uint16_t sum,
                             const TimeStamp& timeStamp);

private:
    static constexpr unsigned kBuckets = 17;

    PacketStats* Find(std::uint32_t key);
    const PacketStats* Find(std::uint32_t key) const;
    void JudgePeriod(PacketStats& record, double interval, const TimeStamp& timeStamp);
    // Matching, in frame_matching.cpp.
    // The transit time of the frame when it matched one of the source's.
    std::optional<double> Correlate(PacketStats& record, unsigned frameClass, unsigned type, unsigned length,
                                    std::uint16_t sum, bool burst, const TimeStamp& timeStamp);
    // On the source side: marks and returns the frame of the key sent within
    // the receiver's window that it has not matched, of equal content, whose
    // transit is closest to the one expected.
    std::optional<sSentMatch> MatchFrame(std::uint32_t key, std::uint16_t sum, std::uint16_t length, std::uint32_t bit,
                                         TimeStamp receivedAt, double windowS, const sExpectedTransit& expected,
                                         double& sourcePeriod);
    std::vector<PacketStats> SortedRecords() const;

    // Counts one frame; age: its corrections' age, when its content gave one.
    void Count(unsigned frameClass, unsigned type, unsigned length, std::uint16_t sum, const TimeStamp& timeStamp,
               std::optional<double> age);
    void Emit(const sLinkEvent& event);
    // A station change or lost epochs that the content judged.
    void OnContentEvent(sLinkEvent event);
    // Logs an outage or corruption that health judged and passes it on.
    void OnJudged(sLinkEvent event);
    void HealthSummary(std::string& text, TimeStamp now) const;

    CLogNode log;
    ILinkEventSink* eventSink = nullptr;
    const bool isSource;
    std::uint32_t generation;
    std::atomic<CStatsCollection*> linkedSource{nullptr};
    std::atomic<bool> linkedOnly{false};
    const std::uint32_t receiverBit;  // 0 on a source, or when all 32 were taken: frames are counted, never matched
    bool toldNoReceiverBit = false;
    TimeStamp intervalStart;
    TimeStamp runStart;
    CLinkHealth health{[this](const sLinkEvent& event) { OnJudged(event); }};
    CStreamContent content{[this](const sLinkEvent& event) { OnContentEvent(event); }};
    double matchWindowS = kDefaultMatchWindowS;
    // Source only: what was sent within the horizon, per key; the receivers
    // that have matched here (a frame all of them matched is let go early);
    // the longest window a receiver asked for.
    std::unordered_map<std::uint32_t, CSentFrames> sentFrames;
    std::uint32_t receiversSeen = 0;
    double keepS = kDefaultMatchWindowS;
    // Receiver only: transits of the matches that had one candidate, of any
    // type: the link's delay as frames of changing content tell it.
    CTransitMedian unambiguousTransits;
    // Hash table of 17 buckets: bucket (key / 16) mod 17, newest first in each.
    std::array<std::vector<PacketStats>, kBuckets> buckets;
};

}  // namespace TolvarRT
