#include "cli/events_report.h"

#include <map>
#include <tuple>

#include "cli/events_line.h"
#include "cli/health_text.h"
#include "core/string_format.h"
#include "stats/packet_stats.h"

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

    void AddFrame(const sLinkEvent& event, double seconds)
    {
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
        line += StringPrintf(", latency mean %.1f ms (min %.1f, max %.1f; median %.1f, 95%% %.1f, RMS %.1f)",
                             type.LatencyMeanS() * 1000.0, latency.minS * 1000.0, latency.maxS * 1000.0,
                             latency.medianS * 1000.0, latency.p95S * 1000.0, latency.rmsS * 1000.0);
    return line + HealthText(type) + "\n";
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
    return json;
}

}  // namespace cli
