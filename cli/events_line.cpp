#include "cli/events_line.h"

#include <algorithm>
#include <ctime>

#include <nlohmann/json.hpp>

#include "core/string_format.h"
#include "decoders/frame_content.h"
#include "stats/packet_stats.h"
#include "web/json_text.h"

namespace cli {
namespace {

using namespace TolvarRT;

constexpr const char* kKindNames[] = {"frame",        "beginOutage",    "endOutage", "beginCorrupted",
                                      "endCorrupted", "stationChanged", "epochsLost"};
// What a station change may name; read back as the same static texts.
constexpr const char* kChanges[] = {"station", "position", "antenna", "receiver", "firmware"};

bool ContentEvent(eLinkEventKind kind)
{
    return kind == eLinkEventKind::StationChanged || kind == eLinkEventKind::EpochsLost;
}

Gnss GnssNamed(const std::string& name)
{
    for (unsigned index = 1; index < kGnssCount; ++index)
        if (name == GnssName(Gnss(index)))
            return Gnss(index);
    return Gnss::None;
}

std::string UtcText(std::chrono::system_clock::time_point at)
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count();
    const std::time_t whole = std::time_t(micros / 1000000);
    std::tm parts{};
    gmtime_r(&whole, &parts);
    return StringPrintf("%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                        parts.tm_hour, parts.tm_min, parts.tm_sec, (long long)(micros % 1000000));
}

}  // namespace

std::string EventLine(const sLinkEvent& event, double seconds, std::chrono::system_clock::time_point utc)
{
    nlohmann::ordered_json line = {{"event", kKindNames[unsigned(event.kind)]},
                                   {"side", event.source ? "source" : "listener"}};
    if (event.wholeLink) {
        line["link"] = true;
    } else if (!ContentEvent(event.kind)) {
        line["class"] = KeyClass(event.key);
        line["type"] = KeyType(event.key);
        line["name"] = FrameName(event.key);
    }
    line["t"] = seconds;
    line["utc"] = UtcText(utc);
    if (event.kind == eLinkEventKind::Frame) {
        line["length"] = event.length;
        line["matched"] = event.matched;
        line["latencyMs"] =
            event.matched ? nlohmann::ordered_json(event.latencyS * 1000.0) : nlohmann::ordered_json(nullptr);
        if (event.hasAge)
            line["ageMs"] = event.ageS * 1000.0;
    } else if (event.kind == eLinkEventKind::StationChanged) {
        line["station"] = event.stationId;
        line["what"] = event.what;
    } else if (event.kind == eLinkEventKind::EpochsLost) {
        line["station"] = event.stationId;
        line["gnss"] = GnssName(Gnss(event.gnss));
        line["epochs"] = event.epochs;
    } else {
        line["durationS"] = event.durationS;
        if (event.kind == eLinkEventKind::BeginCorrupted || event.kind == eLinkEventKind::EndCorrupted)
            line["lostBytes"] = event.lostBytes;
    }
    return web::JsonText(line);
}

bool ParseEventLine(const std::string& text, sEventRecord& record)
{
    const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    if (!line.is_object() || !line.contains("event") || !line.contains("side") || !line.contains("t"))
        return false;
    try {
        sLinkEvent event;
        const std::string kind = line.at("event").get<std::string>();
        unsigned index = 0;
        while (index < std::size(kKindNames) && kind != kKindNames[index])
            ++index;
        if (index == std::size(kKindNames))
            return false;
        event.kind = eLinkEventKind(index);
        const std::string side = line.at("side").get<std::string>();
        if (side != "source" && side != "listener")
            return false;
        event.source = side == "source";
        event.wholeLink = line.value("link", false);
        if (!event.wholeLink && !ContentEvent(event.kind))
            event.key = FrameKey(line.at("class").get<unsigned>(), line.at("type").get<unsigned>());
        if (event.kind == eLinkEventKind::Frame) {
            event.length = line.value("length", 0u);
            event.matched = line.at("matched").get<bool>();
            if (event.matched)
                event.latencyS = line.at("latencyMs").get<double>() / 1000.0;
            event.hasAge = line.contains("ageMs");
            if (event.hasAge)
                event.ageS = line.at("ageMs").get<double>() / 1000.0;
        } else if (event.kind == eLinkEventKind::StationChanged) {
            event.stationId = line.at("station").get<std::uint16_t>();
            const std::string what = line.at("what").get<std::string>();
            const auto known = std::find(std::begin(kChanges), std::end(kChanges), what);
            if (known == std::end(kChanges))
                return false;
            event.what = *known;
        } else if (event.kind == eLinkEventKind::EpochsLost) {
            event.stationId = line.at("station").get<std::uint16_t>();
            const Gnss gnss = GnssNamed(line.at("gnss").get<std::string>());
            if (gnss == Gnss::None)
                return false;
            event.gnss = std::uint8_t(gnss);
            event.epochs = line.at("epochs").get<std::uint64_t>();
        } else {
            event.durationS = line.value("durationS", 0.0);
            event.lostBytes = line.value("lostBytes", std::uint64_t(0));
        }
        record.event = event;
        record.seconds = line.at("t").get<double>();
        record.utc = line.value("utc", std::string());
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

}  // namespace cli
