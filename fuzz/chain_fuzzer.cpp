// The whole receive chain of a link test, both sides: on each side's byte
// pipe the data-collector parser with its CMR handler, RTCM v2, RTCM v3, NMEA
// and ATS, and behind them that side's statistics; the receiver's correlate
// with the source's. The input's chunks go to the source, and on to the
// receiver unless marked (lost on the link). Besides no crash and no UB:
// - each side's statistics count exactly the frames its decoders published,
//   per type and in bytes, and tell every one to their event sink;
// - every received frame is matched or unmatched, every sent frame matched,
//   missed or in flight, and no frame is matched twice;
// - each decoder reports its losses in order and within what it was fed, and
//   after a final flush (which also gives up the weak frames still held
//   back for a packet or RTCM v3 frame that might cover them) the RTCM v3
//   and ATS decoders have accounted for every byte.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "core/log_pipe.h"
#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "fuzz_byte_pipe.h"
#include "stats/link_figures.h"
#include "stats/packet_stats.h"
#include "stats/stats_collection.h"

namespace {

using namespace TolvarRT;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// Every text the chain logs, formatted and dropped: the log lines and dumps
// of arbitrary frames are part of the chain.
class NullSink : public TSubscriber<ILogPipe> {
public:
    ~NullSink() override { Unsubscribe(); }
    void Write(const char* text, unsigned) override { Require(text != nullptr); }
    unsigned GetLogLevel() override { return kLogAll; }
};

class Parser : public CDataCollectorParser {
public:
    explicit Parser(CLogNode& log) : CDataCollectorParser(log) {}
};

// What the decoders published, per statistics key: frames and counted bytes
// as the statistics count them.
struct sTally {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
};

class FrameTally : public TSubscriber<IIncommingCMRPipe>,
                   public TSubscriber<IIncommingRTCMPipe>,
                   public TSubscriber<IIncommingRTCM3Pipe>,
                   public TSubscriber<IIncommingNMEAPipe>,
                   public TSubscriber<IIncommingATSPipe> {
public:
    ~FrameTally() override
    {
        TSubscriber<IIncommingCMRPipe>::Unsubscribe();
        TSubscriber<IIncommingRTCMPipe>::Unsubscribe();
        TSubscriber<IIncommingRTCM3Pipe>::Unsubscribe();
        TSubscriber<IIncommingNMEAPipe>::Unsubscribe();
        TSubscriber<IIncommingATSPipe>::Unsubscribe();
    }
    void OnCMRFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t length, std::uint8_t,
                    const TimeStamp&) override
    {
        Count(kFrameClassCMR, type, length);
    }
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t length, std::uint8_t,
                     const TimeStamp&) override
    {
        Count(kFrameClassCMRW, type, length);
    }
    void OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t, const TimeStamp&) override
    {
        Count(kFrameClassSendTo, length > 0 ? data[0] : 0, length);
    }
    void OnRTCMFrame(unsigned type, const std::uint8_t*, std::uint16_t words, const TimeStamp&) override
    {
        // Counted as on the air: five bytes a word.
        Count(kFrameClassRTCM2, type, 5u * words);
    }
    void OnRTCM3Frame(unsigned type, const std::uint8_t*, std::uint16_t length, const TimeStamp&) override
    {
        Count(kFrameClassRTCM3, type, length);
        rtcm3Bytes += length + 6u;  // preamble, length, CRC
    }
    void OnNMEASentence(unsigned type, const sNMEAPosition*, const char* text, const TimeStamp&) override
    {
        Count(kFrameClassNMEA, type, unsigned(std::strlen(text)));
    }
    void OnATSFrame(unsigned type, const std::uint8_t*, std::uint16_t length, const TimeStamp&) override
    {
        Count(kFrameClassATS, type, length);
        atsBytes += length;
    }

    std::map<std::uint32_t, sTally> byKey;
    std::uint64_t frames = 0;
    std::uint64_t rtcm3Bytes = 0;
    std::uint64_t atsBytes = 0;

private:
    void Count(unsigned frameClass, unsigned type, unsigned length)
    {
        sTally& tally = byKey[FrameKey(frameClass, type)];
        tally.frames += 1;
        tally.bytes += length;
        frames += 1;
    }
};

class EventTally : public ILinkEventSink {
public:
    void OnLinkEvent(const sLinkEvent& event) override
    {
        if (event.kind != eLinkEventKind::Frame)
            return;
        Require(event.key != 0 && !event.wholeLink);
        frames += 1;
        matched += event.matched ? 1 : 0;
    }
    std::uint64_t frames = 0;
    std::uint64_t matched = 0;
};

// One side of a link test, assembled as the test document assembles it.
struct Side {
    explicit Side(bool source) : statistics(&logPipe, source)
    {
        parser.Subscribe(&pipe);
        cmr.Subscribe(&parser);
        for (CBytePipeSubscriber* decoder :
             {static_cast<CBytePipeSubscriber*>(&rtcm), static_cast<CBytePipeSubscriber*>(&rtcm3),
              static_cast<CBytePipeSubscriber*>(&nmea), static_cast<CBytePipeSubscriber*>(&ats)})
            decoder->Subscribe(&pipe);
        ats.SetEnabled(true);
        // The tally first: the statistics must have counted no more than it.
        tally.TSubscriber<IIncommingCMRPipe>::Subscribe(&cmr);
        tally.TSubscriber<IIncommingRTCMPipe>::Subscribe(&rtcm);
        tally.TSubscriber<IIncommingRTCM3Pipe>::Subscribe(&rtcm3);
        tally.TSubscriber<IIncommingNMEAPipe>::Subscribe(&nmea);
        tally.TSubscriber<IIncommingATSPipe>::Subscribe(&ats);
        Require(statistics.SubscribeTo(&cmr, &rtcm, &nmea, &ats, &rtcm3));
        statistics.SetEventSink(&events);
        sink.Subscribe(&logPipe);
        logPipe.RaiseSinkLevel();
    }
    ~Side()
    {
        statistics.SetEventSink(nullptr);
        statistics.UnsubscribeAll();
        for (CBytePipeSubscriber* decoder :
             {static_cast<CBytePipeSubscriber*>(&parser), static_cast<CBytePipeSubscriber*>(&rtcm),
              static_cast<CBytePipeSubscriber*>(&rtcm3), static_cast<CBytePipeSubscriber*>(&nmea),
              static_cast<CBytePipeSubscriber*>(&ats)})
            decoder->Unsubscribe();
        cmr.Unsubscribe();
    }

    // Settles what the decoders still hold: a chunk that arrives with RTCM v3
    // and ATS decoding off gives up their open and held frames and is itself
    // lost.
    void Flush()
    {
        rtcm3.SetEnabled(false);
        ats.SetEnabled(false);
        const std::uint8_t last = 0;
        pipe.Feed(&last, 1, TimeStamp(pipe.fed + 1));
        Require(tally.rtcm3Bytes + pipe.Lost(rtcm3).total == pipe.fed);
        Require(tally.atsBytes + pipe.Lost(ats).total == pipe.fed);
    }

    // The statistics hold every frame the decoders published, and only those.
    void CheckCounts() const
    {
        std::uint64_t frames = 0;
        std::uint64_t matched = 0;
        for (const PacketStats& record : statistics.Snapshot().records) {
            const auto tallied = tally.byKey.find(record.key);
            Require(tallied != tally.byKey.end());
            Require(record.frames == tallied->second.frames);
            Require(record.totalBytes == std::uint32_t(tallied->second.bytes));
            frames += record.frames;
            matched += record.matched;
            if (statistics.IsSource())
                Require(record.matched == 0 && record.unmatched == 0);
            else
                Require(record.matched + record.unmatched == record.frames);
        }
        Require(frames == tally.frames && tally.byKey.size() == statistics.Snapshot().records.size());
        Require(events.frames == frames && events.matched == matched);
    }

    CLogPipe logPipe;
    NullSink sink;
    fuzzing::FuzzBytePipe pipe;
    CLogNode parserLog{&logPipe};
    Parser parser{parserLog};
    CDCCMRHandler cmr{&logPipe};
    CRTCMInputHandler rtcm{&logPipe};
    CRTCM3InputHandler rtcm3{&logPipe};
    CNMEAInputHandler nmea{&logPipe};
    CATSInputHandler ats{&logPipe};
    FrameTally tally;
    EventTally events;
    CStatsCollection statistics;
};

// What the link measures from the receiver's and the source's records.
void CheckFigures(const sStatsSnapshot& snapshot, bool linkOver)
{
    const std::vector<sLinkFigures> types = MeasureLink(snapshot, linkOver);
    for (const sLinkFigures& type : types) {
        Require(type.received == type.matched + type.unmatched);
        Require(type.matched <= type.sent);
        if (type.sent != 0)
            Require(type.sent == type.matched + type.missed + type.inFlight);
        if (linkOver)
            Require(type.inFlight == 0);
        if (type.matched != 0)
            Require(type.latencyMinS <= type.latencyMaxS);
    }
    const sLinkFigures total = LinkTotal(types);
    Require(total.received == total.matched + total.unmatched);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Side source(true);
    Side receiver(false);
    receiver.statistics.SetSource(&source.statistics);

    // A chunk leaves the source at its time and reaches the receiver 80 ms
    // later; chunks are 200 ms apart. Stamps are ticks of the time base's clock.
    using Period = std::chrono::steady_clock::period;
    constexpr TimeStamp kMillisecond = TimeStamp(Period::den / Period::num / 1000);
    constexpr TimeStamp kPeriod = 200 * kMillisecond;
    constexpr TimeStamp kTransit = 80 * kMillisecond;
    TimeStamp sent = 0;
    fuzzing::ForEachChunk(data, size, [&](const std::uint8_t* chunk, std::size_t length, bool lostOnTheLink) {
        sent += kPeriod;
        source.pipe.Feed(chunk, length, sent);
        if (!lostOnTheLink)
            receiver.pipe.Feed(chunk, length, sent + kTransit);
    });
    source.CheckCounts();
    receiver.CheckCounts();
    // Judged on the stamps' own clock, so that frames are still in flight.
    CheckFigures(receiver.statistics.Snapshot(sent + kTransit), false);
    Require(!receiver.statistics.Summary(false, sent + kPeriod).empty());

    source.Flush();
    receiver.Flush();
    source.CheckCounts();
    receiver.CheckCounts();
    CheckFigures(receiver.statistics.Snapshot(sent + kTransit), true);
    receiver.statistics.SetSource(nullptr);
    return 0;
}
