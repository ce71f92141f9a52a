#include "cli/events_report.h"

#include <map>
#include <tuple>

#include "app/content_text.h"
#include "cli/events_line.h"
#include "cli/health_text.h"
#include "core/string_format.h"
#include "stats/packet_stats.h"
#include "web/stats_output.h"

namespace cli {
namespace {

using namespace TolvarRT;

// One side's outages of one type, or of the whole link, or its corruption.
using BandKey = std::tuple<bool, bool, std::uint32_t, bool>;

class CReportBuilder {
public:
    void Add(const sEventRecord& record)
    {
        const sLinkEvent& event = record.event;
        report.lastSeconds = std::max(report.lastSeconds, record.seconds);
        if (report.events++ == 0)
            report.firstUtc = record.utc;
        report.sourceSeen = report.sourceSeen || event.source;
        if (event.kind == eLinkEventKind::Frame) {
            AddFrame(event, record.seconds);
            return;
        }
        if (event.kind == eLinkEventKind::StationChanged) {
            report.stationChanges.push_back({event.source, record.seconds, event.stationId, event.what});
            return;
        }
        if (event.kind == eLinkEventKind::EpochsLost) {
            sEpochFigures& epochs = lostEpochs[{event.source, event.stationId, event.gnss}];
            epochs.stationId = event.stationId;
            epochs.gnss = Gnss(event.gnss);
            epochs.lost += event.epochs;
            return;
        }
        const bool corrupted =
            event.kind == eLinkEventKind::BeginCorrupted || event.kind == eLinkEventKind::EndCorrupted;
        const bool begins = event.kind == eLinkEventKind::BeginOutage || event.kind == eLinkEventKind::BeginCorrupted;
        sHealthCounts& side = event.source ? report.source : report.listener;
        side.rejectedBytes = std::max(side.rejectedBytes, event.lostBytes);
        const BandKey bandKey{event.source, event.wholeLink, event.wholeLink ? 0 : event.key, corrupted};
        const auto open = openBands.find(bandKey);
        if (begins) {
            if (open != openBands.end())
                return;  // already out
            // Judged once the frames had been missing for a while.
            sEventBand band = NewBand(event, corrupted, record.seconds - event.durationS);
            band.open = true;
            openBands[bandKey] = report.bands.size();
            report.bands.push_back(band);
            return;
        }
        if (open == openBands.end()) {
            // The beginning came before the file: the end says how long it lasted.
            sEventBand band = NewBand(event, corrupted, record.seconds - event.durationS);
            band.end = record.seconds;
            report.bands.push_back(band);
            return;
        }
        sEventBand& band = report.bands[open->second];
        // The end is judged a while after the frames came back; the duration
        // says when they did.
        band.end = event.durationS > 0.0 ? band.begin + event.durationS : record.seconds;
        band.open = false;
        openBands.erase(open);
    }

    sEventsReport Finish(std::uint64_t malformed)
    {
        for (sEventBand& band : report.bands) {
            if (band.open)
                band.end = std::max(band.begin, report.lastSeconds);
            const double seconds = band.end - band.begin;
            sHealthCounts& side = band.source ? report.source : report.listener;
            if (band.corrupted) {
                ++side.corruptedSpells;
                side.corruptedSeconds += seconds;
            } else if (band.wholeLink) {
                ++side.linkOutages;
                side.outageSeconds += seconds;
            } else {
                ++side.typeOutages;
                // A type's line is what the Listener received of it.
                if (!band.source) {
                    ++Type(band.key).outages;
                    Type(band.key).outageSeconds += seconds;
                }
            }
        }
        report.total.name = "All types";
        for (auto& [key, type] : types) {
            report.total.sent += type.sent;
            report.total.received += type.received;
            report.total.matched += type.matched;
            report.total.latency.Merge(type.latency);
            report.total.latencySumS += type.latencySumS;
            report.total.outages += type.outages;
            report.total.outageSeconds += type.outageSeconds;
            report.types.push_back(std::move(type));
        }
        for (auto& [key, figures] : ages)
            Content(key.first).ages.push_back(std::move(figures));
        for (auto& [key, epochs] : lostEpochs)
            Content(std::get<0>(key)).epochs.push_back(epochs);
        report.malformed = malformed;
        return std::move(report);
    }

private:
    static sEventBand NewBand(const sLinkEvent& event, bool corrupted, double begin)
    {
        sEventBand band;
        band.source = event.source;
        band.wholeLink = event.wholeLink;
        band.key = event.wholeLink ? 0 : event.key;
        band.corrupted = corrupted;
        band.begin = begin;
        return band;
    }

    sTypeEvents& Type(std::uint32_t key)
    {
        sTypeEvents& type = types[key];
        if (type.name.empty()) {
            type.key = key;
            type.name = FrameName(key);
        }
        return type;
    }

    sContentEvents& Content(bool source) { return source ? report.sourceContent : report.listenerContent; }

    void AddAge(const sLinkEvent& event)
    {
        sAgeFigures& figures = ages[{event.source, event.key}];
        if (figures.name.empty()) {
            figures.key = event.key;
            figures.name = FrameName(event.key);
        }
        figures.ages.Add(event.ageS);
        figures.sumS += event.ageS;
    }

    void AddFrame(const sLinkEvent& event, double seconds)
    {
        if (event.hasAge)
            AddAge(event);
        sTypeEvents& type = Type(event.key);
        if (event.source) {
            ++type.sent;
            return;
        }
        ++type.received;
        if (!event.matched)
            return;
        ++type.matched;
        type.latency.Add(event.latencyS);
        type.latencySumS += event.latencyS;
        type.points.push_back({seconds, event.latencyS * 1000.0});
    }

    sEventsReport report;
    std::map<std::uint32_t, sTypeEvents> types;
    std::map<BandKey, std::size_t> openBands;
    // Per side: ages by type; lost epochs by station and GNSS.
    std::map<std::pair<bool, std::uint32_t>, sAgeFigures> ages;
    std::map<std::tuple<bool, std::uint16_t, std::uint8_t>, sEpochFigures> lostEpochs;
};

std::string HealthText(const sTypeEvents& type)
{
    if (type.outages == 0)
        return {};
    return StringPrintf(", %u outage%s (%.1f s)", type.outages, type.outages == 1 ? "" : "s", type.outageSeconds);
}

std::string TypeLine(const sTypeEvents& type)
{
    std::string line =
        StringPrintf("  %s: %llu sent, %llu received, %llu matched, %llu missed, %llu unmatched", type.name.c_str(),
                     (unsigned long long)type.sent, (unsigned long long)type.received, (unsigned long long)type.matched,
                     (unsigned long long)type.Missed(), (unsigned long long)type.Unmatched());
    const sLatencyDistribution latency = type.latency.Distribution();
    // Worded as the figures at the end of a run.
    if (latency.count == 0)
        line += ", no latency";
    else
        line += ", latency " + DistributionMsText(type.LatencyMeanS(), latency);
    return line + HealthText(type) + "\n";
}

std::string ContentText(const char* side, const sContentEvents& content)
{
    std::string text;
    if (!content.ages.empty())
        text += StringPrintf("Age of corrections, %s:\n", side) + AgeLines(content.ages, "  ");
    if (!content.epochs.empty()) {
        text += StringPrintf("Epochs lost, %s:\n", side);
        for (const sEpochFigures& epochs : content.epochs)
            text += StringPrintf("  station %u %s: %llu\n", unsigned(epochs.stationId), GnssName(epochs.gnss),
                                 (unsigned long long)epochs.lost);
    }
    return text;
}

nlohmann::json ContentJson(const sContentEvents& content)
{
    nlohmann::json ages = nlohmann::json::array();
    for (const sAgeFigures& type : content.ages)
        ages.push_back(web::AgeFiguresJson(type));
    nlohmann::json lost = nlohmann::json::array();
    for (const sEpochFigures& epochs : content.epochs)
        lost.push_back({{"station_id", epochs.stationId}, {"gnss", GnssName(epochs.gnss)}, {"lost", epochs.lost}});
    return {{"age", ages}, {"epochs_lost", lost}};
}

nlohmann::json HealthJson(const sTypeEvents& type)
{
    return {{"outages", {{"count", type.outages}, {"seconds", type.outageSeconds}}}};
}

nlohmann::json TypeJson(const sTypeEvents& type)
{
    nlohmann::json json = {{"name", type.name},       {"sent", type.sent},       {"received", type.received},
                           {"matched", type.matched}, {"missed", type.Missed()}, {"unmatched", type.Unmatched()},
                           {"latencyMs", nullptr}};
    if (type.key != 0) {
        json["class"] = KeyClass(type.key);
        json["type"] = KeyType(type.key);
    }
    const sLatencyDistribution latency = type.latency.Distribution();
    if (latency.count != 0)
        json["latencyMs"] = {{"mean", type.LatencyMeanS() * 1000.0},
                             {"min", latency.minS * 1000.0},
                             {"median", latency.medianS * 1000.0},
                             {"p95", latency.p95S * 1000.0},
                             {"max", latency.maxS * 1000.0},
                             {"rms", latency.rmsS * 1000.0},
                             {"count", latency.count}};
    json.update(HealthJson(type));
    return json;
}

}  // namespace

sEventsReport ReadEventsReport(std::istream& in)
{
    CReportBuilder builder;
    std::uint64_t malformed = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        sEventRecord record;
        if (ParseEventLine(line, record))
            builder.Add(record);
        else
            ++malformed;
    }
    return builder.Finish(malformed);
}

std::string EventsReportText(const sEventsReport& report)
{
    std::string text = StringPrintf("%llu events over %.1f s", (unsigned long long)report.events, report.lastSeconds);
    if (!report.firstUtc.empty())
        text += ", the first at " + report.firstUtc;
    text += "\nMeasured over the whole run:\n";
    for (const sTypeEvents& type : report.types)
        text += TypeLine(type);
    text += TypeLine(report.total);
    text += HealthCountsLine("Listener", report.listener);
    if (report.sourceSeen)
        text += HealthCountsLine("Source", report.source);
    text += ContentText("Listener", report.listenerContent);
    text += ContentText("Source", report.sourceContent);
    if (!report.stationChanges.empty()) {
        text += "Station changes:\n";
        for (const sStationChange& change : report.stationChanges)
            text += StringPrintf("  %s at %.1f s: station %u, %s\n", change.source ? "Source" : "Listener",
                                 change.seconds, unsigned(change.stationId), change.what.c_str());
    }
    if (report.malformed != 0)
        text += StringPrintf("Skipped %llu malformed line%s\n", (unsigned long long)report.malformed,
                             report.malformed == 1 ? "" : "s");
    return text;
}

nlohmann::json EventsReportJson(const sEventsReport& report)
{
    nlohmann::json types = nlohmann::json::array();
    for (const sTypeEvents& type : report.types)
        types.push_back(TypeJson(type));
    nlohmann::json bands = nlohmann::json::array();
    for (const sEventBand& band : report.bands) {
        nlohmann::json entry = {{"side", band.source ? "source" : "listener"},
                                {"kind", band.corrupted ? "corrupted" : "outage"},
                                {"beginS", band.begin},
                                {"endS", band.end},
                                {"open", band.open}};
        if (band.wholeLink)
            entry["link"] = true;
        else
            entry["name"] = FrameName(band.key);
        bands.push_back(entry);
    }
    nlohmann::json json = {{"events", report.events},
                           {"seconds", report.lastSeconds},
                           {"firstUtc", report.firstUtc},
                           {"measured", types},
                           {"measuredTotal", TypeJson(report.total)},
                           {"bands", bands},
                           {"malformedLines", report.malformed}};
    json["health"] = {{"listener", HealthCountsJson(report.listener)}};
    if (report.sourceSeen)
        json["health"]["source"] = HealthCountsJson(report.source);
    json["content"] = nlohmann::json::object();
    if (!report.listenerContent.Empty())
        json["content"]["listener"] = ContentJson(report.listenerContent);
    if (!report.sourceContent.Empty())
        json["content"]["source"] = ContentJson(report.sourceContent);
    nlohmann::json changes = nlohmann::json::array();
    for (const sStationChange& change : report.stationChanges)
        changes.push_back({{"side", change.source ? "source" : "listener"},
                           {"t", change.seconds},
                           {"station_id", change.stationId},
                           {"what", change.what}});
    json["station_changes"] = changes;
    return json;
}

}  // namespace cli
