#include "cli/link_test.h"

#include <cmath>
#include <thread>

#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/events_file.h"
#include "cli/health_text.h"
#include "cli/in_flight_wait.h"
#include "cli/test_recording.h"
#include "core/string_format.h"
#include "ports/recording/replay_session.h"
#include "ports/stream_path.h"
#include "web/stats_output.h"
#include "web/status_server.h"

namespace cli {
namespace {

using namespace TolvarRT;
using web::AddMeasuredJson;
using web::RowsJson;
using web::TableText;

void Redraw(CTolvarTestSuiteDoc& document, unsigned second, unsigned seconds, std::ostream& out)
{
    out << "\033[H\033[J" << document.TitleText() << "\n\n" << TableText(document.StatisticsRows()) << "\n";
    if (seconds != 0)
        out << second << " of " << seconds << " s" << std::flush;
    else
        out << second << " s, Ctrl+C ends the test" << std::flush;
}

void Warn(const sTestLoop& loop, const std::vector<std::string>& failures)
{
    if (loop.onWarning)
        for (const std::string& failure : failures)
            loop.onWarning("recording stopped, " + failure);
}

}  // namespace

bool StartRecording(CTestRecording& recording, CTolvarTestSuiteDoc& document, const sTestLoop& loop,
                    bool sourceGenerated, std::string& error)
{
    return loop.recordFolder.empty() ||
           recording.Start(document, loop.recordFolder, sourceGenerated, error, loop.recordRtklib);
}

void FinishRecording(CTestRecording& recording, const sTestLoop& loop, sTestFigures& figures)
{
    if (loop.recordFolder.empty())
        return;
    Warn(loop, recording.Stop());
    figures.recordFolder = loop.recordFolder;
    figures.recordingFailures = recording.Failures();
}

bool StartEvents(CEventsFile& events, CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::string& error)
{
    if (loop.eventsFile.empty())
        return true;
    if (!events.Open(loop.eventsFile, error))
        return false;
    document.ListenerStatistics().SetEventSink(&events);
    document.SourceStatistics().SetEventSink(&events);
    return true;
}

void FinishEvents(CEventsFile& events, CTolvarTestSuiteDoc& document, const sTestLoop& loop, sTestFigures& figures)
{
    if (loop.eventsFile.empty())
        return;
    document.ListenerStatistics().SetEventSink(nullptr);
    document.SourceStatistics().SetEventSink(nullptr);
    figures.eventsFile = loop.eventsFile;
    figures.eventsFailure = events.Close();
    figures.eventLines = events.Lines();
    figures.eventLinesWritten = events.LinesWritten();
    if (!figures.eventsFailure.empty() && loop.onWarning)
        loop.onWarning("events file failed, " + figures.eventsFailure);
}

CConnectionWatch::CConnectionWatch(CTolvarTestSuiteDoc& owner, const sTestLoop& testLoop, bool source,
                                   CTestRecording& testRecording, bool generated, CEventsFile& eventsFile)
    : document(owner),
      loop(testLoop),
      withSource(source),
      recording(testRecording),
      sourceGenerated(generated),
      events(eventsFile)
{
    sConnectionHooks hooks;
    hooks.probing = [this](bool side, const std::string& port) {
        if (loop.onNote)
            loop.onNote(std::string("probing the ") + (side ? "Source" : "Listener") + " on " + port +
                        " (identity requests, radio mode) ...");
    };
    hooks.counting = [this](bool side, double probeSeconds) { OnCounting(side, probeSeconds); };
    document.SetConnectionHooks(std::move(hooks));
    if (loop.onInterrupt)
        loop.onInterrupt([this] { document.CancelProbes(); });
}

CConnectionWatch::~CConnectionWatch()
{
    if (loop.onInterrupt)
        loop.onInterrupt(nullptr);
    document.SetConnectionHooks({});
}

void CConnectionWatch::OnCounting(bool source, double probeSeconds)
{
    const bool last = source == withSource;
    if (probeSeconds >= 0.0 && loop.onNote)
        loop.onNote(StringPrintf("probed the %s for %.1f s%s", source ? "Source" : "Listener", probeSeconds,
                                 last ? "; the test counts from here" : ""));
    if (!last)
        return;
    // What came before was reset: the recording and the events file begin
    // again with empty files, on the clock the statistics now count from.
    std::string error;
    if (!loop.recordFolder.empty()) {
        Warn(loop, recording.Stop());
        if (!StartRecording(recording, document, loop, sourceGenerated, error))
            Warn(loop, {error});
    }
    if (!loop.eventsFile.empty()) {
        events.Close();
        if (!StartEvents(events, document, loop, error) && loop.onWarning)
            loop.onWarning("events file failed, " + error);
    }
}

bool SleepUntil(std::chrono::steady_clock::time_point until)
{
    std::this_thread::sleep_until(until);
    return true;
}

bool StartStatusServer(CStatusServer& server, const sTestLoop& loop, std::string& error)
{
    if (loop.serve.empty())
        return true;
    if (!server.Start(loop.serve, error))
        return false;
    if (loop.onServing)
        loop.onServing("http://" + server.Host() + ":" + std::to_string(server.Port()) + "/");
    return true;
}

namespace {

std::string LogLossText(const std::string& logFile, unsigned failedWrites)
{
    return StringPrintf("log file failed, %s: %u texts not written", logFile.c_str(), failedWrites);
}

}  // namespace

CTestTick::CTestTick(CTolvarTestSuiteDoc& owner, const sTestLoop& testLoop, const sTestOutputs& testOutputs)
    : document(owner), loop(testLoop), outputs(testOutputs)
{
    Check();
}

void CTestTick::Second(unsigned second)
{
    Check();
    // As the statistics view and the child frame's summary timer do.
    document.RefreshStatistics();
    if (second % (CTolvarTestSuiteDoc::kSummaryPeriodMs / 1000) == 0)
        document.TakeIntervalSummary();
}

void CTestTick::Check()
{
    if (outputs.recording != nullptr)
        Warn(loop, outputs.recording->Flush());
    if (!loop.onWarning)
        return;
    if (outputs.events != nullptr && !eventsTold) {
        const std::string failure = outputs.events->Failure();
        eventsTold = !failure.empty();
        if (eventsTold)
            loop.onWarning("events file failed, " + failure);
    }
    const unsigned failedWrites = document.FileLog().FailedWrites();
    if (!outputs.logFile.empty() && !logTold && failedWrites != 0) {
        logTold = true;
        loop.onWarning(LogLossText(outputs.logFile, failedWrites));
    }
}

void FinishLog(CTolvarTestSuiteDoc& document, const sTestLoop& loop, const std::string& logFile, sTestFigures& figures)
{
    if (logFile.empty())
        return;
    figures.logFile = logFile;
    figures.logFailedWrites = document.FileLog().FailedWrites();
    if (figures.logFailedWrites != 0 && loop.onWarning)
        loop.onWarning(LogLossText(logFile, figures.logFailedWrites));
}

unsigned RunTestSeconds(CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::ostream& progressOut,
                        const sTestOutputs& outputs)
{
    CTestTick tick(document, loop, outputs);
    unsigned secondsRun = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned second = 1; loop.seconds == 0 || second <= loop.seconds; ++second) {
        if (!loop.wait(start + std::chrono::seconds(second)))
            break;
        secondsRun = second;
        tick.Second(second);
        if (loop.progress)
            Redraw(document, second, loop.seconds, progressOut);
    }
    if (loop.progress)
        progressOut << "\033[H\033[J" << std::flush;
    return secondsRun;
}

namespace {

sSideHealth HealthOf(const CStatsCollection& collection, TimeStamp now)
{
    sSideHealth health;
    health.counts = collection.HealthCounts(now);
    health.outages = collection.Outages(now);
    health.runStart = collection.RunStart();
    return health;
}

}  // namespace

sTestFigures EndTest(CTolvarTestSuiteDoc& document, unsigned seconds, bool stopGenerator,
                     std::chrono::milliseconds drain, const sTestLoop& loop)
{
    sTestFigures figures;
    figures.title = document.TitleText();
    figures.seconds = seconds;
    if (stopGenerator) {
        document.Run(DocumentCommand::kDisconnectSource);
        std::this_thread::sleep_for(drain);
    }
    // A real Source goes on sending: what it sends from now on is not the
    // run's, and frames in flight stop growing.
    const bool realSource = !stopGenerator && document.IsSourceOpen();
    if (realSource)
        document.SourceStatistics().UnsubscribeAll();
    document.RefreshStatistics();
    figures.tableText = TableText(document.StatisticsRows());
    // Frames in flight are judged on the link's clock: a replay's, when one plays.
    const sStatsSnapshot snapshot = document.ListenerStatistics().Snapshot(CReplaySession::LinkTimeNow());
    figures.rows = RowsJson(snapshot);
    // Only a stopped generator and a drained link make every unmatched
    // source frame a missed one; a real Source may have frames on the air.
    figures.measured = MeasureLink(snapshot, stopGenerator);
    figures.summary = document.ListenerStatistics().Summary(false);
    const TimeStamp now = CReplaySession::LinkTimeNow();
    figures.listenerHealth = HealthOf(document.ListenerStatistics(), now);
    figures.sourceHealth = HealthOf(document.SourceStatistics(), now);
    // What went on the air is what the Source sent; without one, what came.
    const bool fromSource = snapshot.hasSource && !snapshot.sourceRecords.empty();
    figures.budget = MeasureBudget(fromSource ? snapshot.sourceRecords : snapshot.records, seconds, loop.linkBps);
    if (realSource && snapshot.hasSource) {
        sInFlightWait wait;
        const auto measure = [&](bool linkOver) {
            return MeasureLink(document.ListenerStatistics().Snapshot(CReplaySession::LinkTimeNow()), linkOver);
        };
        const auto window = std::chrono::milliseconds(std::llround(loop.matchWindowS * 1000.0));
        figures.measured = AwaitInFlight(measure, figures.measured, drain, window, wait);
        figures.inFlightAtEnd = wait.atEnd;
        figures.leftInFlight = wait.leftOut;
        if (wait.leftOut != 0 && loop.onWarning)
            loop.onWarning(StringPrintf(
                "%llu of %llu source frames in flight at the end had not arrived after %.1f s "
                "(the bound): counted missed",
                (unsigned long long)wait.leftOut, (unsigned long long)wait.atEnd, double(wait.bound.count()) / 1000.0));
    }
    return figures;
}

void WarnOfBudget(const sTestLoop& loop, const sTestFigures& figures)
{
    if (loop.onWarning && figures.budget.total.overBudget)
        loop.onWarning(StringPrintf("the corrections take %.0f %% of the radio's %u bit/s (more than %.0f %%)",
                                    figures.budget.total.share * 100.0, figures.budget.linkBps,
                                    kBudgetWarningShare * 100.0));
}

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
    return line + StringPrintf(", latency mean %.1f ms (min %.1f, max %.1f; median %.1f, 95%% %.1f, RMS %.1f)\n",
                               figures.LatencyMeanS() * 1000.0, figures.latencyMinS * 1000.0,
                               figures.latencyMaxS * 1000.0, d.medianS * 1000.0, d.p95S * 1000.0, d.rmsS * 1000.0);
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

namespace {

std::string OpenError(const std::string& port, const std::string& reason)
{
    // The port's own reason may already start with the name it was given.
    const std::string shown = TolvarRT::ShownPortName(port);
    if (reason.rfind(shown + ": ", 0) == 0)
        return reason;
    return shown + ": " + (reason.empty() ? std::string("cannot be opened") : reason);
}

}  // namespace

bool ConnectListener(CTolvarTestSuiteDoc& document, const CCommandLineUi& ui, bool nmea, std::string& error)
{
    document.Run(nmea ? DocumentCommand::kConnectNmeaListener : DocumentCommand::kConnectListener);
    if (document.IsListenerOpen())
        return true;
    error = OpenError(ui.listener.port, document.ListenerEndpoint().OpenFailure());
    return false;
}

bool ConnectSource(CTolvarTestSuiteDoc& document, const CCommandLineUi& ui, std::string& error)
{
    document.Run(DocumentCommand::kConnectSource);
    if (document.IsSourceOpen())
        return true;
    error = OpenError(ui.source.port, document.SourceEndpoint().OpenFailure());
    return false;
}

bool OpenLogFile(CTolvarTestSuiteDoc& document, CCommandLineUi& ui, const std::string& file, int level,
                 std::string& error)
{
    if (file.empty())
        return true;
    ui.logFile = file;
    document.Run(DocumentCommand::kCreateLogFile);
    if (!document.FileLog().IsOpen()) {
        error = file + ": " + document.FileLog().OpenFailure();
        return false;
    }
    // The level commands answer only while a log file is open.
    if (level >= 0)
        document.Run(DocumentCommand::kFileLogNone + unsigned(level));
    return true;
}

void SetFakeCmr(CTolvarTestSuiteDoc& document, unsigned schedule, unsigned svs)
{
    document.Run(DocumentCommand::kFakeSchedule0 + schedule);
    document.CmrGenerator().SetSVCount(svs, svs / 2);
}

}  // namespace cli
