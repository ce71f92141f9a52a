#include "cli/decode_command.h"

#include <cstdio>
#include <map>
#include <memory>

#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "stats/stats_collection.h"
#include "web/json_text.h"

namespace cli {
namespace {

using namespace TolvarRT;

// A byte pipe without a port: feeds a stream to every decoder as a port's byte
// pipe would (the strongly checked decoders first, with a frame cover) and
// marks per byte how many decoders reported it lost, with the latest chunk
// in which one did.
class LossMap : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    LossMap(std::vector<std::uint8_t>& lostBy, std::vector<std::uint64_t>& lostIn) : lostBy(lostBy), lostIn(lostIn) {}

    void Feed(const std::vector<std::uint8_t>& stream, std::size_t chunkSize, const ChunkCuts* cuts)
    {
        ChunkCuts even;
        if (cuts == nullptr || cuts->empty()) {
            for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize)
                even.emplace_back(offset, std::min(offset + chunkSize, stream.size()));
            cuts = &even;
        }
        for (const auto& [begin, end] : *cuts) {
            if (end > stream.size() || begin >= end)
                break;
            const std::size_t offset = begin;
            const auto length = std::uint32_t(end - begin);
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            const std::uint32_t first = std::uint32_t(base + offset);
            const TimeStamp stamp = TimeStampNow();
            cover.BeginChunk(first);
            DeliverChunk(*this, [&](IIncomingBytePipe& decoder) {
                decoder.OnBytes(stream.data() + offset, length, first, stamp);
            });
            ++chunk;
        }
        base += stream.size();
    }
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        for (std::uint64_t i = firstIndex; i < std::uint64_t(firstIndex) + count && i < lostBy.size(); ++i) {
            ++lostBy[i];
            lostIn[i] = std::max(lostIn[i], chunk);
        }
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }
    CFrameCover* FrameCover() override { return &cover; }

    std::uint64_t chunk = 0;  // the index of the chunk being delivered

private:
    std::vector<std::uint8_t>& lostBy;
    std::vector<std::uint64_t>& lostIn;
    std::uint64_t base = 0;
    CFrameCover cover;
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

// What every pass marks: per byte, how many decoders reported it lost and the
// latest chunk in which one did; and the frames listed.
struct sClaims {
    explicit sClaims(std::uint64_t bytes) : lostBy(bytes, 0), lostIn(bytes, 0) {}
    std::vector<std::uint8_t> lostBy;
    std::vector<std::uint64_t> lostIn;
    CFrameLister lister;
};

// The frames in stream order, with the runs of bytes no frame holds between.
std::vector<sListedFrame> Listing(std::vector<sListedFrame> frames, const sClaims& claims, unsigned passes)
{
    std::stable_sort(frames.begin(), frames.end(),
                     [](const sListedFrame& a, const sListedFrame& b) { return a.offset < b.offset; });
    const std::uint64_t total = claims.lostBy.size();
    std::vector<sListedFrame> listing;
    std::uint64_t covered = 0;  // every byte before it is in a frame or listed lost
    const auto listLostUpTo = [&](std::uint64_t end) {
        for (std::uint64_t at = covered; at < std::min(end, total);) {
            sListedFrame run;
            run.offset = at;
            run.lost = true;
            run.held = claims.lostBy[at] != passes;
            run.name = "lost";
            for (; at < std::min(end, total) && (claims.lostBy[at] != passes) == run.held; ++at)
                run.chunk = std::max(run.chunk, claims.lostIn[at]);
            run.length = at - run.offset;
            listing.push_back(std::move(run));
        }
        covered = std::max(covered, end);
    };
    for (sListedFrame& frame : frames) {
        listLostUpTo(frame.offset);
        covered = std::max(covered, frame.offset + frame.length);
        listing.push_back(std::move(frame));
    }
    listLostUpTo(total);
    return listing;
}

}  // namespace

sDecodeResult DecodeStreams(const std::vector<std::vector<std::uint8_t>>& streams, const sDecodeOptions& options,
                            const std::vector<ChunkCuts>& recordedChunks)
{
    sDecodeResult result;
    for (const auto& stream : streams)
        result.bytesRead += stream.size();
    sClaims claims(result.bytesRead);
    CStatsCollection statistics(nullptr, false);

    // Every decoder on one pipe, as a port's: a frame with a weak check inside
    // a packet or an RTCM v3 frame is dropped as on a live link.
    LossMap pipe(claims.lostBy, claims.lostIn);
    Parser parser;
    CDCCMRHandler cmr;
    PacketCounter packets;
    CRTCMInputHandler rtcm;
    CRTCM3InputHandler rtcm3;
    CNMEAInputHandler nmea;
    CATSInputHandler ats;
    ats.SetEnabled(true);
    std::vector<CBytePipeSubscriber*> decoders{&parser, &rtcm, &rtcm3, &nmea};
    if (options.ats)
        decoders.push_back(&ats);
    for (CBytePipeSubscriber* decoder : decoders)
        decoder->Subscribe(&pipe);
    cmr.Subscribe(&parser);
    packets.Subscribe(&parser);
    statistics.SubscribeTo(&cmr, &rtcm, &nmea, options.ats ? &ats : nullptr, &rtcm3);
    claims.lister.AttachPackets(parser, parser, cmr, pipe.chunk);
    claims.lister.Attach<IIncommingRTCMPipe>(rtcm, rtcm, pipe.chunk);
    claims.lister.Attach<IIncommingRTCM3Pipe>(rtcm3, rtcm3, pipe.chunk);
    claims.lister.Attach<IIncommingNMEAPipe>(nmea, nmea, pipe.chunk);
    if (options.ats)
        claims.lister.Attach<IIncommingATSPipe>(ats, ats, pipe.chunk);
    const std::size_t chunkSize = std::max<std::size_t>(1, options.chunkSize);
    for (std::size_t i = 0; i < streams.size(); ++i)
        pipe.Feed(streams[i], chunkSize, i < recordedChunks.size() ? &recordedChunks[i] : nullptr);
    claims.lister.Detach();
    statistics.UnsubscribeAll();
    for (CBytePipeSubscriber* decoder : decoders)
        decoder->Unsubscribe();
    cmr.Unsubscribe();
    packets.Unsubscribe();
    const auto passes = unsigned(decoders.size());
    for (const auto& [type, counts] : packets.byType)
        result.packets.push_back({PacketTypeName(type), 0, type, counts.first, counts.second});

    PacketStats record;
    int position = -1;
    while (position != 0 && statistics.NextRecord(position, record, false))
        result.frames.push_back(
            {FrameName(record.key), KeyClass(record.key), KeyType(record.key), record.frames, record.totalBytes});
    std::sort(result.frames.begin(), result.frames.end(), [](const sDecodedType& a, const sDecodedType& b) {
        return FrameKey(a.frameClass, a.type) < FrameKey(b.frameClass, b.type);
    });
    for (std::uint8_t lost : claims.lostBy)
        result.unclaimedBytes += lost == passes ? 1 : 0;
    result.listing = Listing(std::move(claims.lister.frames), claims, passes);
    return result;
}

std::string DecodeText(const sDecodeResult& result)
{
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "%-28s %10s %12s\n", "Frame type", "Count", "Bytes");
    text += line;
    std::uint64_t frames = 0;
    for (const sDecodedType& row : result.frames) {
        std::snprintf(line, sizeof line, "%-28s %10llu %12llu\n", row.name.c_str(), (unsigned long long)row.count,
                      (unsigned long long)row.bytes);
        text += line;
        frames += row.count;
    }
    std::snprintf(line, sizeof line, "%-28s %10llu\n\n", "Frames", (unsigned long long)frames);
    text += line;
    std::snprintf(line, sizeof line, "%-28s %10s %12s\n", "Data-collector packets", "Count", "Bytes");
    text += line;
    for (const sDecodedType& row : result.packets) {
        std::snprintf(line, sizeof line, "%-28s %10llu %12llu\n", row.name.c_str(), (unsigned long long)row.count,
                      (unsigned long long)row.bytes);
        text += line;
    }
    std::snprintf(line, sizeof line, "\nBytes read %llu, claimed by no decoder %llu\n",
                  (unsigned long long)result.bytesRead, (unsigned long long)result.unclaimedBytes);
    text += line;
    return text;
}

std::string FrameLines(const sDecodeResult& result)
{
    std::string lines;
    for (const sListedFrame& entry : result.listing) {
        // Keys in the order an engineer reads them: where, what, when.
        nlohmann::ordered_json line = {{"offset", entry.offset}, {"length", entry.length}};
        line["class"] = entry.lost ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.frameClass);
        line["type"] = entry.lost ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.type);
        line["name"] = entry.name;
        line["chunk"] = entry.held ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.chunk);
        lines += web::JsonText(line);
        lines += '\n';
    }
    return lines;
}

nlohmann::json DecodeJson(const sDecodeResult& result)
{
    const auto rows = [](const std::vector<sDecodedType>& list) {
        nlohmann::json array = nlohmann::json::array();
        for (const sDecodedType& row : list)
            array.push_back({{"name", row.name},
                             {"class", row.frameClass},
                             {"type", row.type},
                             {"count", row.count},
                             {"bytes", row.bytes}});
        return array;
    };
    return {{"bytesRead", result.bytesRead},
            {"frames", rows(result.frames)},
            {"packets", rows(result.packets)},
            {"unclaimedBytes", result.unclaimedBytes}};
}

}  // namespace cli
