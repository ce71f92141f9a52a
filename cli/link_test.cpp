#include "cli/link_test.h"

#include <thread>

#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/test_recording.h"
#include "core/string_format.h"
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
    return loop.recordFolder.empty() || recording.Start(document, loop.recordFolder, sourceGenerated, error);
}

void FinishRecording(CTestRecording& recording, const sTestLoop& loop, sTestFigures& figures)
{
    if (loop.recordFolder.empty())
        return;
    Warn(loop, recording.Stop());
    figures.recordFolder = loop.recordFolder;
    figures.recordingFailures = recording.Failures();
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

unsigned RunTestSeconds(CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::ostream& progressOut,
                        CTestRecording* recording)
{
    unsigned secondsRun = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned second = 1; loop.seconds == 0 || second <= loop.seconds; ++second) {
        if (!loop.wait(start + std::chrono::seconds(second)))
            break;
        secondsRun = second;
        if (recording != nullptr)
            Warn(loop, recording->Flush());
        // As the statistics view and the child frame's summary timer do.
        document.RefreshStatistics();
        if (second % (CTolvarTestSuiteDoc::kSummaryPeriodMs / 1000) == 0)
            document.TakeIntervalSummary();
        if (loop.progress)
            Redraw(document, second, loop.seconds, progressOut);
    }
    if (loop.progress)
        progressOut << "\033[H\033[J" << std::flush;
    return secondsRun;
}

sTestFigures EndTest(CTolvarTestSuiteDoc& document, unsigned seconds, bool stopGenerator,
                     std::chrono::milliseconds drain)
{
    sTestFigures figures;
    figures.title = document.TitleText();
    figures.seconds = seconds;
    if (stopGenerator) {
        document.Run(DocumentCommand::kDisconnectSource);
        std::this_thread::sleep_for(drain);
    }
    document.RefreshStatistics();
    figures.tableText = TableText(document.StatisticsRows());
    const sStatsSnapshot snapshot = document.ListenerStatistics().Snapshot();
    figures.rows = RowsJson(snapshot);
    // Only a stopped generator and a drained link make every unmatched
    // source frame a missed one; a real Source may have frames on the air.
    figures.measured = MeasureLink(snapshot, stopGenerator);
    figures.summary = document.ListenerStatistics().Summary(false);
    return figures;
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
    return line + StringPrintf(", latency mean %.1f ms (min %.1f, max %.1f)\n", figures.LatencyMeanS() * 1000.0,
                               figures.latencyMinS * 1000.0, figures.latencyMaxS * 1000.0);
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
    }
    if (!figures.recordFolder.empty()) {
        text += "Recorded to " + figures.recordFolder + "\n";
        for (const std::string& failure : figures.recordingFailures)
            text += "Recording failed: " + failure + "\n";
    }
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
    if (!figures.recordFolder.empty())
        json["recording"] = {{"folder", figures.recordFolder}, {"failures", figures.recordingFailures}};
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
