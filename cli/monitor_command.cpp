#include "cli/monitor_command.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/events_file.h"
#include "cli/test_recording.h"
#include "core/string_format.h"
#include "ports/recording/replay_session.h"
#include "web/status_server.h"

namespace cli {
namespace {

using namespace TolvarRT;

// The generator's schedule and satellites when a link's Source is fake-cmr.
constexpr unsigned kFakeSchedule = 1;
constexpr unsigned kFakeSvs = 9;

sLinkLine LineOf(const std::string& name, const char* state, const sLinkFigures& total, bool withSource,
                 const sHealthCounts& health, const sContentSnapshot& content = {})
{
    sLinkLine line;
    line.name = name;
    line.state = state;
    line.received = total.received;
    if (withSource && total.matched + total.missed != 0)
        line.receivedShare = double(total.matched) / double(total.matched + total.missed);
    const sLatencyDistribution d = total.transits.Distribution();
    if (d.count != 0) {
        line.medianMs = d.medianS * 1000.0;
        line.p95Ms = d.p95S * 1000.0;
    }
    line.outages = health.linkOutages;
    line.outageSeconds = health.outageSeconds;
    const sLatencyDistribution ages = content.AllAges().Distribution();
    if (ages.count != 0) {
        line.ageMedianMs = ages.medianS * 1000.0;
        line.ageP95Ms = ages.p95S * 1000.0;
    }
    return line;
}

// One link's test: its document and everything that writes beside it.
class CLinkTest {
public:
    CLinkTest(const sMonitorLink& link, const sTestLoop& shared, const std::function<void(const std::string&)>& tell)
        : config(link), document(settings, ui)
    {
        loop = shared;
        loop.progress = false;
        loop.serve.clear();
        loop.onServing = nullptr;
        // The monitor ends every link's probes at once.
        loop.onInterrupt = nullptr;
        loop.recordFolder = link.recordFolder;
        loop.eventsFile = link.eventsFile;
        loop.matchWindowS = link.matchWindowS;
        const std::string prefix = link.name + ": ";
        loop.onWarning = [tell, prefix](const std::string& text) { tell(prefix + text); };
        loop.onNote = loop.onWarning;
        ui.listener = link.listener;
        ui.source = link.source;
        document.SetMatchWindow(link.matchWindowS);
        if (!HasSource())
            document.ListenerStatistics().UseLinkedSourceOnly();
    }

    const sMonitorLink& Config() const { return config; }
    CTolvarTestSuiteDoc& Document() { return document; }
    bool HasSource() const { return !config.source.port.empty(); }
    bool Generated() const { return config.source.Generated(); }
    bool Opened() const { return opened; }

    // The recording and the events file, before any port opens.
    bool Prepare(std::string& error)
    {
        // The defaults' events folder holds every link's file: made if need be.
        const std::filesystem::path folder = std::filesystem::path(config.eventsFile).parent_path();
        std::error_code ignored;
        if (!config.eventsFile.empty() && !folder.empty())
            std::filesystem::create_directories(folder, ignored);
        if (!StartRecording(recording, document, loop, Generated(), error) ||
            !StartEvents(events, document, loop, error))
            return false;
        watch.emplace(document, loop, HasSource(), recording, Generated(), events);
        if (config.source.fakeAts)
            document.Run(DocumentCommand::kToggleAtsDecoding);
        return true;
    }

    // Opens what is not open yet; a failure is told once per reason and
    // tried again after the retry time.
    void TryOpen(std::chrono::steady_clock::time_point now, std::chrono::milliseconds retry)
    {
        if (opened || now < nextTry)
            return;
        std::string error;
        if (!document.IsListenerOpen())
            ConnectListener(document, ui, config.nmea, error);
        if (error.empty() && HasSource() && !document.IsSourceOpen()) {
            if (config.source.fakeRtcm3)
                document.Rtcm3Generator().SetSettings(config.rtcm3);
            ConnectSource(document, ui, error);
        }
        if (!error.empty()) {
            if (error != openError && loop.onWarning)
                loop.onWarning(error + "; trying again every " +
                               StringPrintf("%.0f s", double(retry.count()) / 1000.0));
            openError = error;
            nextTry = now + retry;
            return;
        }
        opened = true;
        openError.clear();
        if (config.source.fakeCmr)
            SetFakeCmr(document, kFakeSchedule, kFakeSvs);
        tick.emplace(document, loop, outputs);
    }

    void Second(unsigned second)
    {
        if (tick)
            tick->Second(second);
    }

    sLinkLine Line()
    {
        if (!opened)
            return LineOf(config.name, "waiting", {}, HasSource(), {});
        const TimeStamp now = CReplaySession::LinkTimeNow();
        const CStatsCollection& statistics = document.ListenerStatistics();
        const sStatsSnapshot snapshot = statistics.Snapshot(now);
        const sLinkFigures total = LinkTotal(MeasureLink(snapshot, false));
        const std::vector<sOutage> outages = statistics.Outages(now);
        const bool out = std::any_of(outages.begin(), outages.end(),
                                     [](const sOutage& outage) { return outage.wholeLink && !outage.end; });
        return LineOf(config.name, out ? "outage" : "open", total, HasSource(), statistics.HealthCounts(now),
                      snapshot.content);
    }

    sMonitoredLink End(unsigned seconds)
    {
        sMonitoredLink result;
        result.name = config.name;
        result.withSource = HasSource();
        result.ran = opened;
        result.openError = openError;
        if (opened) {
            result.figures = EndTest(document, seconds, Generated(), kSourceDrain, loop);
            WarnOfBudget(loop, result.figures);
        }
        FinishEvents(events, document, loop, result.figures);
        FinishRecording(recording, loop, result.figures);
        watch.reset();
        document.Shutdown();
        result.verdict =
            Judge(config.requirements, result.figures.measured, HasSource(), &result.figures.listenerContent);
        // A link that never opened did not do what was asked of it.
        if (!opened)
            result.verdict.passed = false;
        return result;
    }

private:
    const sMonitorLink config;
    sTestLoop loop;
    CMemorySettingsStore settings;
    CCommandLineUi ui;
    CEventsFile events;  // outlives the document, whose collections write to it
    CTolvarTestSuiteDoc document;
    CTestRecording recording;
    const sTestOutputs outputs{&recording, &events, ""};
    std::optional<CConnectionWatch> watch;
    std::optional<CTestTick> tick;
    bool opened = false;
    std::string openError;
    std::chrono::steady_clock::time_point nextTry;
};

std::string Optional(const std::optional<double>& value, const char* format, const char* none)
{
    return value ? StringPrintf(format, *value) : std::string(none);
}

}  // namespace

std::string LinkLinesText(const std::vector<sLinkLine>& lines)
{
    std::size_t width = 4;
    for (const sLinkLine& line : lines)
        width = std::max(width, line.name.size());
    std::string text = StringPrintf("%-*s  %-7s  %10s  %9s  %9s  %s\n", int(width), "LINK", "STATE", "RECEIVED",
                                    "MEDIAN ms", "P95 ms", "OUTAGES");
    for (const sLinkLine& line : lines) {
        const std::string received = line.receivedShare ? StringPrintf("%.1f %%", *line.receivedShare * 100.0)
                                                        : StringPrintf("%llu fr", (unsigned long long)line.received);
        text += StringPrintf("%-*s  %-7s  %10s  %9s  %9s  %llu (%.1f s)\n", int(width), line.name.c_str(),
                             line.state.c_str(), received.c_str(), Optional(line.medianMs, "%.1f", "-").c_str(),
                             Optional(line.p95Ms, "%.1f", "-").c_str(), (unsigned long long)line.outages,
                             line.outageSeconds);
        // Only links whose frames carry epochs have ages: the columns stay as they were for the rest.
        if (line.ageMedianMs && line.ageP95Ms) {
            text.pop_back();
            text += StringPrintf("  age median %.1f ms, 95%% %.1f ms\n", *line.ageMedianMs, *line.ageP95Ms);
        }
    }
    return text;
}

sMonitorResult RunMonitor(const sMonitorOptions& options, std::ostream& progressOut)
{
    sMonitorResult result;
    std::mutex tellLock;
    const auto tell = [&options, &tellLock](const std::string& text) {
        std::lock_guard<std::mutex> guard(tellLock);
        if (options.loop.onWarning)
            options.loop.onWarning(text);
    };
    // Receivers take the process's matching bits as they are made: the links
    // with a Source, which need them, are made first.
    std::vector<const sMonitorLink*> order;
    for (const sMonitorLink& link : options.config.links)
        order.push_back(&link);
    std::stable_partition(order.begin(), order.end(),
                          [](const sMonitorLink* link) { return !link->source.port.empty(); });
    std::vector<std::unique_ptr<CLinkTest>> made;
    for (const sMonitorLink* link : order)
        made.push_back(std::make_unique<CLinkTest>(*link, options.loop, tell));
    // Shown, served and reported in the file's order.
    std::vector<CLinkTest*> links;
    for (const sMonitorLink& link : options.config.links)
        for (const auto& test : made)
            if (test->Config().name == link.name)
                links.push_back(test.get());

    std::vector<web::sServedLink> served;
    for (CLinkTest* link : links)
        served.push_back({link->Config().name, &link->Document()});
    CStatusServer server(served);
    if (!StartStatusServer(server, options.loop, result.error))
        return result;
    for (CLinkTest* link : links) {
        std::string error;
        if (!link->Prepare(error)) {
            result.error = link->Config().name + ": " + error;
            return result;
        }
    }
    if (options.loop.onInterrupt)
        options.loop.onInterrupt([&links] {
            for (CLinkTest* link : links)
                link->Document().CancelProbes();
        });

    const auto lines = [&links] {
        std::vector<sLinkLine> all;
        for (CLinkTest* link : links)
            all.push_back(link->Line());
        return all;
    };
    for (CLinkTest* link : links)
        link->TryOpen(std::chrono::steady_clock::now(), options.retry);
    // Every link that could open is tied: replayed recordings may begin.
    CReplaySession::StartAll();

    unsigned secondsRun = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned second = 1; options.loop.seconds == 0 || second <= options.loop.seconds; ++second) {
        if (!options.loop.wait(start + std::chrono::seconds(second)))
            break;
        secondsRun = second;
        for (CLinkTest* link : links) {
            link->TryOpen(std::chrono::steady_clock::now(), options.retry);
            link->Second(second);
        }
        if (options.loop.progress)
            progressOut << "\033[H\033[J" << LinkLinesText(lines())
                        << (options.loop.seconds != 0 ? StringPrintf("%u of %u s", second, options.loop.seconds)
                                                      : StringPrintf("%u s, Ctrl+C ends the monitor", second))
                        << std::flush;
    }
    if (options.loop.progress)
        progressOut << "\033[H\033[J" << std::flush;
    if (options.loop.onInterrupt)
        options.loop.onInterrupt(nullptr);

    // Each link waits for its own frames in flight: together, not one after
    // the other.
    result.links.resize(links.size());
    std::vector<std::thread> ending;
    for (std::size_t i = 0; i < links.size(); ++i)
        ending.emplace_back([&, i] { result.links[i] = links[i]->End(secondsRun); });
    for (std::thread& thread : ending)
        thread.join();
    return result;
}

namespace {

sLinkLine FinalLine(const sMonitoredLink& link)
{
    return LineOf(link.name, link.ran ? "done" : "waiting", LinkTotal(link.figures.measured), link.withSource,
                  link.figures.listenerHealth.counts, link.figures.listenerContent);
}

}  // namespace

std::string MonitorText(const sMonitorResult& result)
{
    std::vector<sLinkLine> lines;
    for (const sMonitoredLink& link : result.links)
        lines.push_back(FinalLine(link));
    std::string text = LinkLinesText(lines);
    for (const sMonitoredLink& link : result.links) {
        if (!link.ran)
            text += link.name + ": never opened: " + link.openError + "\n";
        else if (!link.verdict.judgements.empty())
            text += link.name + ": " + VerdictLine(link.verdict);
        if (link.figures.LostData())
            text += link.name + ": its recording or events file lost data\n";
    }
    return text;
}

nlohmann::json MonitorJson(const sMonitorResult& result)
{
    nlohmann::json links = nlohmann::json::array();
    for (const sMonitoredLink& link : result.links) {
        nlohmann::json json = {{"name", link.name}, {"ran", link.ran}, {"withSource", link.withSource}};
        if (link.ran)
            json["figures"] = FiguresJson(link.figures);
        else
            json["openError"] = link.openError;
        json["verdict"] = VerdictJson(link.verdict);
        links.push_back(json);
    }
    return {{"links", links}, {"status", MonitorStatus(result)}};
}

int MonitorStatus(const sMonitorResult& result)
{
    const bool anyRan =
        std::any_of(result.links.begin(), result.links.end(), [](const sMonitoredLink& link) { return link.ran; });
    if (!result.error.empty() || !anyRan)
        return 1;
    int status = 0;
    for (const sMonitoredLink& link : result.links) {
        if (!link.verdict.passed)
            return 3;
        if (link.figures.LostData())
            status = 4;
    }
    return status;
}

}  // namespace cli
