// What the demo and the run on real ports share while a test runs: the
// seconds, the recording and events file, the connections and the end.
#include "cli/link_test.h"

#include <cmath>
#include <thread>

#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/events_file.h"
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
    server.SetRefreshSeconds(loop.serveRefresh);
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
    figures.listenerContent = snapshot.content;
    figures.sourceContent = snapshot.sourceContent;
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
