#include "cli/decode_session.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>

#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "stats/stats_collection.h"

namespace cli {
namespace {

using namespace TolvarRT;

// A byte pipe without a port: feeds the streams to every decoder as a port's
// byte pipe would (the strongly checked decoders first, with a frame cover)
// and marks per byte how many decoders reported it lost, with the latest
// chunk in which one did. Only the bytes a decoder may still report are
// kept, in a ring; Release lets the oldest go.
class ClaimPipe : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    explicit ClaimPipe(std::size_t ringBytes) : lostBy(ringBytes, 0), lostIn(ringBytes, 0), mask(ringBytes - 1) {}

    void Deliver(const std::uint8_t* data, std::uint32_t length, bool startsChunk)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        if (startsChunk && delivered)
            ++chunk;
        delivered = true;
        const auto first = std::uint32_t(end);
        end += length;
        const TimeStamp stamp = TimeStampNow();
        cover.BeginChunk(first);
        DeliverChunk(*this, [&](IIncomingBytePipe& decoder) { decoder.OnBytes(data, length, first, stamp); });
    }
    void Skip(std::uint64_t bytes) { end += bytes; }

    // Where a running index lies in the streams: never past the bytes
    // delivered, whose indices are the streams' offsets modulo 2^32.
    std::uint64_t Offset(std::uint32_t index) const
    {
        const std::uint32_t back = std::uint32_t(end) - index;
        return back > 0x80000000u ? end : back > end ? 0 : end - back;
    }

    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        const std::uint64_t from = std::max(Offset(firstIndex), released);
        const std::uint64_t to = std::min(Offset(firstIndex) + count, end);
        for (std::uint64_t at = from; at < to; ++at) {
            ++lostBy[at & mask];
            lostIn[at & mask] = std::max(lostIn[at & mask], chunk);
        }
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }
    CFrameCover* FrameCover() override { return &cover; }

    std::uint8_t LostBy(std::uint64_t at) const { return lostBy[at & mask]; }
    std::uint64_t LostIn(std::uint64_t at) const { return lostIn[at & mask]; }
    // Counts the bytes before to that every decoder reported and forgets them.
    void Release(std::uint64_t to, unsigned passes)
    {
        for (; released < to; ++released) {
            unclaimed += lostBy[released & mask] == passes ? 1 : 0;
            lostBy[released & mask] = 0;
            lostIn[released & mask] = 0;
        }
    }

    std::uint64_t chunk = 0;  // the index of the chunk being delivered
    std::uint64_t end = 0;    // the streams' bytes so far
    std::uint64_t released = 0;
    std::uint64_t unclaimed = 0;

private:
    std::vector<std::uint8_t> lostBy;
    std::vector<std::uint64_t> lostIn;
    const std::uint64_t mask;
    bool delivered = false;
    CFrameCover cover;
};

// The frames in stream order, with the runs of bytes no frame holds between:
// frames wait, sorted, until no earlier one can be published; a lost run
// stays open while it may grow.
class Listing {
public:
    Listing(CDecodeSession::ListingSink sink, unsigned passes) : sink(std::move(sink)), passes(passes) {}

    void Add(sListedFrame&& frame)
    {
        // After frames at the same offset: those were published first.
        const auto place = std::upper_bound(waiting.begin(), waiting.end(), frame.offset,
                                            [](std::uint64_t at, const sListedFrame& f) { return at < f.offset; });
        waiting.insert(place, std::move(frame));
    }
    // Lists everything before to.
    void ListUpTo(std::uint64_t to, const ClaimPipe& claims)
    {
        while (!waiting.empty() && waiting.front().offset < to) {
            const sListedFrame& frame = waiting.front();
            ListLostUpTo(frame.offset, claims);
            Close();
            covered = std::max(covered, frame.offset + frame.length);
            sink(frame);
            waiting.pop_front();
        }
        ListLostUpTo(to, claims);
    }
    void Close()
    {
        if (run)
            sink(*run);
        run.reset();
    }

private:
    void ListLostUpTo(std::uint64_t end, const ClaimPipe& claims)
    {
        for (std::uint64_t at = covered; at < end; ++at) {
            const bool held = claims.LostBy(at) != passes;
            if (run && run->held != held)
                Close();
            if (!run) {
                run.emplace();
                run->offset = at;
                run->lost = true;
                run->held = held;
                run->name = "lost";
            }
            ++run->length;
            run->chunk = std::max(run->chunk, claims.LostIn(at));
        }
        covered = std::max(covered, end);
    }

    CDecodeSession::ListingSink sink;
    const unsigned passes;
    std::deque<sListedFrame> waiting;
    std::uint64_t covered = 0;  // every byte before it is in a frame or listed lost
    std::optional<sListedFrame> run;
};

class PacketCounter : public TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
public:
    ~PacketCounter() override { Unsubscribe(); }
    void OnPacket(std::uint8_t command, const std::uint8_t*, std::uint8_t length, std::uint8_t,
                  const TimeStamp&) override
    {
        auto& entry = byType[command];
        ++entry.first;
        entry.second += length + 6u;
    }
    std::map<unsigned, std::pair<std::uint64_t, std::uint64_t>> byType;
};

class Parser : public CDataCollectorParser {
public:
    Parser() : CDataCollectorParser(log) {}
    CLogNode log;
};

// A ring that holds every byte a decoder may still report: those within
// reach of the newest delivery, and that delivery.
std::size_t RingBytes(std::uint64_t reach)
{
    std::size_t bytes = 1;
    while (bytes < reach + CDecodeSession::kLargestDelivery)
        bytes *= 2;
    return bytes;
}

}  // namespace

struct CDecodeSession::sParts {
    sParts(const sDecodeOptions& options, ListingSink sink)
        : reach(options.reach),
          pipe(RingBytes(options.reach)),
          listed(bool(sink)),
          listing(std::move(sink), options.ats ? 5u : 4u)
    {
        ats.SetEnabled(true);
        decoders = {&parser, &rtcm, &rtcm3, &nmea};
        if (options.ats)
            decoders.push_back(&ats);
        // Every decoder on one pipe, as a port's: a frame with a weak check
        // inside a packet or an RTCM v3 frame is dropped as on a live link.
        for (CBytePipeSubscriber* decoder : decoders)
            decoder->Subscribe(&pipe);
        cmr.Subscribe(&parser);
        packets.Subscribe(&parser);
        statistics.SubscribeTo(&cmr, &rtcm, &nmea, options.ats ? &ats : nullptr, &rtcm3);
        if (!listed)
            return;
        lister.onFrame = [this](sListedFrame&& frame) {
            frame.offset = pipe.Offset(std::uint32_t(frame.offset));
            listing.Add(std::move(frame));
        };
        lister.AttachPackets(parser, parser, cmr, pipe.chunk);
        lister.Attach<IIncommingRTCMPipe>(rtcm, rtcm, pipe.chunk);
        lister.Attach<IIncommingRTCM3Pipe>(rtcm3, rtcm3, pipe.chunk);
        lister.Attach<IIncommingNMEAPipe>(nmea, nmea, pipe.chunk);
        if (options.ats)
            lister.Attach<IIncommingATSPipe>(ats, ats, pipe.chunk);
    }
    ~sParts() { Detach(); }

    void Detach()
    {
        lister.Detach();
        statistics.UnsubscribeAll();
        for (CBytePipeSubscriber* decoder : decoders)
            decoder->Unsubscribe();
        cmr.Unsubscribe();
        packets.Unsubscribe();
    }
    unsigned Passes() const { return unsigned(decoders.size()); }
    // Everything before to is final.
    void Release(std::uint64_t to)
    {
        if (listed)
            listing.ListUpTo(to, pipe);
        pipe.Release(to, Passes());
    }
    void ReleaseOutOfReach()
    {
        if (pipe.end > reach)
            Release(pipe.end - reach);
    }

    const std::uint64_t reach;
    ClaimPipe pipe;
    const bool listed;
    Listing listing;
    CFrameLister lister;
    CStatsCollection statistics{nullptr, false};
    Parser parser;
    CDCCMRHandler cmr;
    PacketCounter packets;
    CRTCMInputHandler rtcm;
    CRTCM3InputHandler rtcm3;
    CNMEAInputHandler nmea;
    CATSInputHandler ats;
    std::vector<CBytePipeSubscriber*> decoders;
};

CDecodeSession::CDecodeSession(const sDecodeOptions& options, ListingSink sink)
    : parts(std::make_unique<sParts>(options, std::move(sink)))
{
}

CDecodeSession::~CDecodeSession() = default;

void CDecodeSession::Deliver(const std::uint8_t* data, std::size_t length, bool startsChunk)
{
    for (std::size_t done = 0; done < length; startsChunk = false) {
        const std::size_t piece = std::min(length - done, kLargestDelivery);
        parts->pipe.Deliver(data + done, std::uint32_t(piece), startsChunk);
        parts->ReleaseOutOfReach();
        done += piece;
    }
}

void CDecodeSession::Skip(std::uint64_t bytes)
{
    // In steps no longer than a delivery, so that the ring keeps up.
    for (std::uint64_t done = 0; done < bytes;) {
        const std::uint64_t step = std::min<std::uint64_t>(bytes - done, kLargestDelivery);
        parts->pipe.Skip(step);
        parts->ReleaseOutOfReach();
        done += step;
    }
}

sDecodeResult CDecodeSession::Finish()
{
    sParts& p = *parts;
    p.Detach();
    p.Release(p.pipe.end);
    p.listing.Close();

    sDecodeResult result;
    result.bytesRead = p.pipe.end;
    result.unclaimedBytes = p.pipe.unclaimed;
    for (const auto& [type, counts] : p.packets.byType)
        result.packets.push_back({PacketTypeName(type), 0, type, counts.first, counts.second});
    PacketStats record;
    int position = -1;
    while (position != 0 && p.statistics.NextRecord(position, record, false))
        result.frames.push_back(
            {FrameName(record.key), KeyClass(record.key), KeyType(record.key), record.frames, record.totalBytes});
    std::sort(result.frames.begin(), result.frames.end(), [](const sDecodedType& a, const sDecodedType& b) {
        return FrameKey(a.frameClass, a.type) < FrameKey(b.frameClass, b.type);
    });
    result.content = p.statistics.ContentSnapshot();
    // Without ages the host's clock and leap seconds say nothing of a
    // capture; left out, the summary is the same on every machine.
    result.content.clock = TolvarRT::sClockFigures();
    if (!result.content.ages.empty()) {
        result.content.ages.clear();
        result.content.clock.noAgesReason = "decoding gives none (a run on a recording does)";
    }
    return result;
}

}  // namespace cli
