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

namespace cli {
namespace {

using namespace TolvarRT;

// A byte pipe without a port: feeds a stream as a port would and marks the
// bytes its one decoder reports lost.
class LossMap : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    explicit LossMap(std::vector<std::uint8_t>& lostBy) : lostBy(lostBy) {}

    void Feed(const std::vector<std::uint8_t>& stream, std::size_t chunkSize)
    {
        for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize) {
            const auto length = std::uint32_t(std::min(chunkSize, stream.size() - offset));
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            const std::uint32_t first = std::uint32_t(base + offset);
            const TimeStamp stamp = TimeStampNow();
            Publish([&](IIncomingBytePipe& decoder) { decoder.OnBytes(stream.data() + offset, length, first, stamp); });
        }
        base += stream.size();
    }
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        for (std::uint64_t i = firstIndex; i < std::uint64_t(firstIndex) + count && i < lostBy.size(); ++i)
            ++lostBy[i];
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }

private:
    std::vector<std::uint8_t>& lostBy;
    std::uint64_t base = 0;
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

// Runs one decoder over every stream on its own pipe.
template <class Decoder, class Attach>
void RunPass(Decoder& decoder, const std::vector<std::vector<std::uint8_t>>& streams, std::size_t chunkSize,
             std::vector<std::uint8_t>& lostBy, Attach&& attach)
{
    LossMap pipe(lostBy);
    decoder.Subscribe(&pipe);
    attach();
    for (const auto& stream : streams)
        pipe.Feed(stream, chunkSize);
    decoder.Unsubscribe();
}

}  // namespace

sDecodeResult DecodeStreams(const std::vector<std::vector<std::uint8_t>>& streams, const sDecodeOptions& options)
{
    sDecodeResult result;
    for (const auto& stream : streams)
        result.bytesRead += stream.size();
    const std::size_t chunkSize = std::max<std::size_t>(1, options.chunkSize);
    std::vector<std::uint8_t> lostBy(result.bytesRead, 0);
    CStatsCollection statistics(nullptr, false);
    unsigned passes = 0;

    {
        Parser parser;
        CDCCMRHandler cmr;
        PacketCounter packets;
        RunPass(parser, streams, chunkSize, lostBy, [&] {
            cmr.Subscribe(&parser);
            packets.Subscribe(&parser);
            statistics.SubscribeTo(&cmr, nullptr, nullptr, nullptr, nullptr);
        });
        ++passes;
        cmr.Unsubscribe();
        for (const auto& [type, counts] : packets.byType) {
            char name[32];
            std::snprintf(name, sizeof name, "Packet Type 0x%02X", type);
            result.packets.push_back({name, 0, type, counts.first, counts.second});
        }
    }
    {
        CRTCMInputHandler rtcm;
        RunPass(rtcm, streams, chunkSize, lostBy,
                [&] { statistics.SubscribeTo(nullptr, &rtcm, nullptr, nullptr, nullptr); });
        ++passes;
    }
    {
        CRTCM3InputHandler rtcm3;
        RunPass(rtcm3, streams, chunkSize, lostBy,
                [&] { statistics.SubscribeTo(nullptr, nullptr, nullptr, nullptr, &rtcm3); });
        ++passes;
    }
    {
        CNMEAInputHandler nmea;
        RunPass(nmea, streams, chunkSize, lostBy,
                [&] { statistics.SubscribeTo(nullptr, nullptr, &nmea, nullptr, nullptr); });
        ++passes;
    }
    if (options.ats) {
        CATSInputHandler ats;
        ats.SetEnabled(true);
        RunPass(ats, streams, chunkSize, lostBy,
                [&] { statistics.SubscribeTo(nullptr, nullptr, nullptr, &ats, nullptr); });
        ++passes;
    }
    statistics.UnsubscribeAll();

    PacketStats record;
    int position = -1;
    while (position != 0 && statistics.NextRecord(position, record, false))
        result.frames.push_back(
            {FrameName(record.key), KeyClass(record.key), KeyType(record.key), record.frames, record.totalBytes});
    std::sort(result.frames.begin(), result.frames.end(), [](const sDecodedType& a, const sDecodedType& b) {
        return FrameKey(a.frameClass, a.type) < FrameKey(b.frameClass, b.type);
    });
    for (std::uint8_t lost : lostBy)
        result.unclaimedBytes += lost == passes ? 1 : 0;
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
