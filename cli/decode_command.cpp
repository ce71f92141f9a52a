#include "cli/decode_command.h"

#include <algorithm>
#include <cstdio>

#include "app/content_text.h"
#include "web/json_text.h"
#include "web/stats_output.h"

namespace cli {

sDecodeResult DecodeStreams(const std::vector<std::vector<std::uint8_t>>& streams, const sDecodeOptions& options,
                            const std::vector<ChunkCuts>& recordedChunks)
{
    std::vector<TolvarRT::sListedFrame> listing;
    CDecodeSession session(options, [&listing](const TolvarRT::sListedFrame& entry) { listing.push_back(entry); });
    const std::size_t chunkSize = std::max<std::size_t>(1, options.chunkSize);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::vector<std::uint8_t>& stream = streams[i];
        ChunkCuts even;
        const ChunkCuts* cuts = i < recordedChunks.size() ? &recordedChunks[i] : nullptr;
        if (cuts == nullptr || cuts->empty()) {
            for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize)
                even.emplace_back(offset, std::min(offset + chunkSize, stream.size()));
            cuts = &even;
        }
        // Cuts that leave the stream or turn back end it; its bytes not
        // delivered still count as read.
        std::uint64_t at = 0;
        for (const auto& [begin, end] : *cuts) {
            if (end > stream.size() || begin >= end || begin < at)
                break;
            session.Skip(begin - at);
            session.Deliver(stream.data() + begin, std::size_t(end - begin));
            at = end;
        }
        session.Skip(stream.size() - at);
    }
    sDecodeResult result = session.Finish();
    result.listing = std::move(listing);
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
    if (!result.content.Empty())
        text += "\nStream content:\n" + TolvarRT::ContentFiguresText(result.content);
    return text;
}

namespace {

// The fields a frame carries, in the order of its own layout: station, epoch,
// what the epoch holds, then the station records.
void AddContent(const TolvarRT::sFrameContent& content, nlohmann::ordered_json& line)
{
    using TolvarRT::EpochScale;
    if (content.hasStation)
        line["station_id"] = content.stationId;
    if (content.gnss != TolvarRT::Gnss::None)
        line["gnss"] = TolvarRT::GnssName(content.gnss);
    switch (content.epochScale) {
    case EpochScale::GpsWeekMs:
    case EpochScale::BeiDouWeekMs: line["tow"] = content.epochMs; break;
    case EpochScale::GlonassDayMs:
        line["tod"] = content.epochMs;
        if (content.dayOfWeek < 7)
            line["dow"] = content.dayOfWeek;
        break;
    case EpochScale::GpsHourMs: break;  // as the Z-count below
    case EpochScale::GpsFourMinuteMs: line["epoch_ms"] = content.epochMs; break;
    case EpochScale::None: break;
    }
    if (content.hasZcount) {
        // In seconds, divided so that the text is the decimal sent.
        line["zcount"] = content.zcount * 6 / 10.0;
        line["sequence"] = content.sequence;
    }
    if (content.multiple >= 0)
        line["multiple"] = content.multiple != 0;
    if (content.sync >= 0)
        line["sync"] = content.sync != 0;
    if (content.gnss != TolvarRT::Gnss::None)
        line["satellites"] = content.satellites;
    if (content.multiple >= 0) {
        line["signals"] = content.signalTypes;
        line["cells"] = content.cells;
    }
    if (content.hasReferencePoint) {
        line["x"] = content.x;
        line["y"] = content.y;
        line["z"] = content.z;
    }
    if (content.hasHeight)
        line["h"] = content.height;
    if (content.hasDescriptor) {
        line["desc"] = content.antenna.text;
        line["setup_id"] = content.setupId;
    }
    if (content.hasAntennaSerial)
        line["serial"] = content.antennaSerial.text;
    if (content.hasReceiver) {
        line["receiver"] = content.receiver.text;
        line["firmware"] = content.firmware.text;
        line["receiver_serial"] = content.receiverSerial.text;
    }
}

}  // namespace

std::string FrameLine(const TolvarRT::sListedFrame& entry)
{
    // Keys in the order an engineer reads them: where, what, when, then what
    // the frame says about itself.
    nlohmann::ordered_json line = {{"offset", entry.offset}, {"length", entry.length}};
    line["class"] = entry.lost ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.frameClass);
    line["type"] = entry.lost ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.type);
    line["name"] = entry.name;
    line["chunk"] = entry.held ? nlohmann::ordered_json() : nlohmann::ordered_json(entry.chunk);
    AddContent(entry.content, line);
    return web::JsonText(line) + '\n';
}

std::string FrameLines(const sDecodeResult& result)
{
    std::string lines;
    for (const TolvarRT::sListedFrame& entry : result.listing)
        lines += FrameLine(entry);
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
    nlohmann::json json = {{"bytesRead", result.bytesRead},
                           {"frames", rows(result.frames)},
                           {"packets", rows(result.packets)},
                           {"unclaimedBytes", result.unclaimedBytes}};
    if (!result.content.Empty())
        json["content"] = web::ContentJson(result.content);
    return json;
}

}  // namespace cli
