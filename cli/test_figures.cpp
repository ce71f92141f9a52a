// The figures a link test ends with, as text and as JSON.
#include "cli/test_figures.h"

#include "app/content_text.h"
#include "cli/health_text.h"
#include "core/string_format.h"
#include "web/stats_output.h"

namespace cli {

using namespace TolvarRT;
using web::AddContentJson;
using web::AddMeasuredJson;

namespace {

std::string MeasuredLine(const sLinkFigures& figures)
{
    std::string line = StringPrintf(
        "  %s: %llu sent, %llu received, %llu matched, %llu missed, %llu unmatched, %llu late", figures.name.c_str(),
        (unsigned long long)figures.sent, (unsigned long long)figures.received, (unsigned long long)figures.matched,
        (unsigned long long)figures.missed, (unsigned long long)figures.unmatched, (unsigned long long)figures.late);
    if (figures.inFlight != 0)
        line += StringPrintf(", %llu in flight", (unsigned long long)figures.inFlight);
    if (figures.matched == 0)
        return line + ", no latency\n";
    const sLatencyDistribution d = figures.transits.Distribution();
    // The exact minimum and maximum are the link's own, not the histogram's.
    sLatencyDistribution exact = d;
    exact.minS = figures.latencyMinS;
    exact.maxS = figures.latencyMaxS;
    return line + ", latency " + DistributionMsText(figures.LatencyMeanS(), exact) + "\n";
}

std::string OutageName(const sOutage& outage)
{
    return outage.wholeLink ? std::string("whole link") : FrameName(outage.key);
}

double SecondsIntoRun(const sSideHealth& health, TimeStamp time)
{
    return SecondsBetween(time, health.runStart);
}

std::string HealthText(const char* side, const sSideHealth& health)
{
    std::string text = HealthCountsLine(side, health.counts);
    for (const sOutage& outage : health.outages) {
        text +=
            StringPrintf("    %s out from %.1f s ", OutageName(outage).c_str(), SecondsIntoRun(health, outage.start));
        text += outage.end ? StringPrintf("to %.1f s", SecondsIntoRun(health, *outage.end)) : std::string("to the end");
        text += StringPrintf(", %.1f s\n", outage.durationS);
    }
    return text;
}

std::string BudgetLine(const sBudgetFigures& figures, unsigned linkBps)
{
    std::string line = StringPrintf("  %s: %.1f bytes/s of data, %.1f bytes/s on the air", figures.name.c_str(),
                                    figures.payloadBytesPerS, figures.airBytesPerS);
    if (linkBps != 0)
        line += StringPrintf(", %.1f %% of %u bit/s%s", figures.share * 100.0, linkBps,
                             figures.overBudget ? " (more than 80 %!)" : "");
    return line + "\n";
}

std::string BudgetText(const sRadioBudget& budget)
{
    std::string text = StringPrintf("Radio budget (%u bits a byte on the air):\n", kAirBitsPerByte);
    for (const sBudgetFigures& type : budget.types)
        text += BudgetLine(type, budget.linkBps);
    return text + BudgetLine(budget.total, budget.linkBps);
}

nlohmann::json HealthJson(const sSideHealth& health)
{
    nlohmann::json outages = nlohmann::json::array();
    for (const sOutage& outage : health.outages)
        outages.push_back({{"name", OutageName(outage)},
                           {"wholeLink", outage.wholeLink},
                           {"startS", SecondsIntoRun(health, outage.start)},
                           {"endS", outage.end ? nlohmann::json(SecondsIntoRun(health, *outage.end)) : nullptr},
                           {"durationS", outage.durationS}});
    nlohmann::json json = HealthCountsJson(health.counts);
    json["outages"] = outages;
    return json;
}

nlohmann::json BudgetFiguresJson(const sBudgetFigures& figures, unsigned linkBps)
{
    nlohmann::json json = {
        {"name", figures.name}, {"payloadBytesPerS", figures.payloadBytesPerS}, {"airBytesPerS", figures.airBytesPerS}};
    if (linkBps != 0) {
        json["share"] = figures.share;
        json["overBudget"] = figures.overBudget;
    }
    return json;
}

nlohmann::json BudgetJson(const sRadioBudget& budget)
{
    nlohmann::json types = nlohmann::json::array();
    for (const sBudgetFigures& type : budget.types)
        types.push_back(BudgetFiguresJson(type, budget.linkBps));
    return {{"airBitsPerByte", kAirBitsPerByte},
            {"linkBps", budget.linkBps != 0 ? nlohmann::json(budget.linkBps) : nullptr},
            {"types", types},
            {"total", BudgetFiguresJson(budget.total, budget.linkBps)}};
}

// The latency distribution beside the figures the status page shares.
void AddDistribution(const sLinkFigures& figures, nlohmann::json& json)
{
    const sLatencyDistribution d = figures.transits.Distribution();
    const auto ms = [&](double seconds) { return d.count != 0 ? nlohmann::json(seconds * 1000.0) : nullptr; };
    json["latencyMedianMs"] = ms(d.medianS);
    json["latencyP95Ms"] = ms(d.p95S);
    json["latencyRmsMs"] = ms(d.rmsS);
}

}  // namespace

std::string FiguresText(const sTestFigures& figures, bool perType)
{
    std::string text = figures.title + "\n\n" + figures.tableText + figures.summary + "\n";
    if (perType) {
        text += "Measured over the whole run:\n";
        for (const sLinkFigures& type : figures.measured)
            text += MeasuredLine(type);
        text += MeasuredLine(LinkTotal(figures.measured));
        text += HealthText("Listener", figures.listenerHealth);
        text += HealthText("Source", figures.sourceHealth);
    }
    // Read from the frames themselves: there with or without a Source.
    text += ContentSectionText(figures.listenerContent, &figures.sourceContent);
    text += BudgetText(figures.budget);
    if (!figures.recordFolder.empty()) {
        text += "Recorded to " + figures.recordFolder + "\n";
        for (const std::string& failure : figures.recordingFailures)
            text += "Recording failed: " + failure + "\n";
    }
    if (!figures.eventsFile.empty()) {
        if (figures.eventsFailure.empty())
            text += StringPrintf("Events written to %s (%llu lines)\n", figures.eventsFile.c_str(),
                                 (unsigned long long)figures.eventLines);
        else
            text += StringPrintf("Events file failed: %s (%llu of %llu lines written)\n", figures.eventsFailure.c_str(),
                                 (unsigned long long)figures.eventLinesWritten, (unsigned long long)figures.eventLines);
    }
    if (figures.logFailedWrites != 0)
        text +=
            "Log file failed: " + figures.logFile + StringPrintf(": %u texts not written\n", figures.logFailedWrites);
    // The receiver's own guess from gaps in its arrivals, which needs no
    // Source and sees nothing until a period is known.
    for (const sLinkFigures& type : figures.measured)
        if (type.gapRuleLost + type.gapRuleLate != 0)
            text += StringPrintf("Gap rule, %s: %llu lost, %llu late\n", type.name.c_str(),
                                 (unsigned long long)type.gapRuleLost, (unsigned long long)type.gapRuleLate);
    return text;
}

nlohmann::json FiguresJson(const sTestFigures& figures)
{
    nlohmann::json json = {
        {"title", figures.title}, {"seconds", figures.seconds}, {"rows", figures.rows}, {"summary", figures.summary}};
    AddMeasuredJson(figures.measured, json);
    for (std::size_t i = 0; i < figures.measured.size(); ++i)
        AddDistribution(figures.measured[i], json["measured"][i]);
    AddDistribution(LinkTotal(figures.measured), json["measuredTotal"]);
    json["health"] = {{"listener", HealthJson(figures.listenerHealth)}, {"source", HealthJson(figures.sourceHealth)}};
    AddContentJson(figures.listenerContent, &figures.sourceContent, json);
    json["budget"] = BudgetJson(figures.budget);
    if (!figures.recordFolder.empty())
        json["recording"] = {{"folder", figures.recordFolder}, {"failures", figures.recordingFailures}};
    if (!figures.eventsFile.empty())
        json["events"] = {{"file", figures.eventsFile},
                          {"lines", figures.eventLines},
                          {"linesWritten", figures.eventLinesWritten},
                          {"failure", figures.eventsFailure.empty() ? nlohmann::json(nullptr)
                                                                    : nlohmann::json(figures.eventsFailure)}};
    if (!figures.logFile.empty())
        json["log"] = {{"file", figures.logFile}, {"failedWrites", figures.logFailedWrites}};
    return json;
}

}  // namespace cli
