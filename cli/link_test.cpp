#include "cli/link_test.h"

#include <thread>

#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/stats_output.h"
#include "cli/status_server.h"
#include "core/string_format.h"

namespace cli {
namespace {

using namespace TolvarRT;

void Redraw(CTolvarTestSuiteDoc& document, unsigned second, unsigned seconds, std::ostream& out)
{
    out << "\033[H\033[J" << document.TitleText() << "\n\n" << TableText(document.StatisticsRows()) << "\n";
    if (seconds != 0)
        out << second << " of " << seconds << " s" << std::flush;
    else
        out << second << " s, Ctrl+C ends the test" << std::flush;
}

}  // namespace

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

unsigned RunTestSeconds(CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::ostream& progressOut)
{
    unsigned secondsRun = 0;
    const auto start = std::chrono::steady_clock::now();
    for (unsigned second = 1; loop.seconds == 0 || second <= loop.seconds; ++second) {
        if (!loop.wait(start + std::chrono::seconds(second)))
            break;
        secondsRun = second;
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
    const std::vector<sStatsRow> rows = document.StatisticsRows();
    figures.tableText = TableText(rows);
    figures.rows = TableJson(rows, document.ListenerStatistics());
    figures.summary = document.ListenerStatistics().Summary(false);
    for (const sStatsRow& row : rows) {
        sTypeFigures type;
        type.name = row.cells[kColumnName];
        type.frameClass = KeyClass(row.key);
        type.type = KeyType(row.key);
        PacketStats record;
        if (document.SourceStatistics().FindRecord(row.key, record))
            type.sourceFrames = record.frames;
        if (document.ListenerStatistics().FindRecord(row.key, record)) {
            type.received = record.frames;
            type.matched = record.matched;
            type.unmatched = record.unmatched;
            type.lost = record.lost;
            type.late = record.late;
            type.meanLatencyMs = record.latencySamples ? 1000.0 * record.latencySum / record.latencySamples : 0.0;
        }
        figures.types.push_back(type);
    }
    return figures;
}

std::string FiguresText(const sTestFigures& figures, bool perType)
{
    std::string text = figures.title + "\n\n" + figures.tableText + figures.summary + "\n";
    if (!perType)
        return text;
    text += "Measured:";
    for (const sTypeFigures& type : figures.types) {
        text += "\n  " + type.name +
                StringPrintf(": %u received, %u unmatched, %u lost", unsigned(type.received), unsigned(type.unmatched),
                             unsigned(type.lost));
        text += type.matched != 0 ? StringPrintf(", mean latency %.1f ms", type.meanLatencyMs) : ", none matched";
    }
    return text + "\n";
}

nlohmann::json FiguresJson(const sTestFigures& figures)
{
    nlohmann::json types = nlohmann::json::array();
    for (const sTypeFigures& type : figures.types)
        types.push_back({{"name", type.name},
                         {"class", type.frameClass},
                         {"type", type.type},
                         {"sourceFrames", type.sourceFrames},
                         {"received", type.received},
                         {"matched", type.matched},
                         {"unmatched", type.unmatched},
                         {"lost", type.lost},
                         {"late", type.late},
                         {"meanLatencyMs", type.matched != 0 ? nlohmann::json(type.meanLatencyMs) : nullptr}});
    return {{"title", figures.title},
            {"seconds", figures.seconds},
            {"rows", figures.rows},
            {"summary", figures.summary},
            {"measured", types}};
}

namespace {

std::string OpenError(const std::string& port, const std::string& reason)
{
    return port + ": " + (reason.empty() ? std::string("cannot be opened") : reason);
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

void SetFakeCmr(CTolvarTestSuiteDoc& document, unsigned schedule, unsigned svs)
{
    document.Run(DocumentCommand::kFakeSchedule0 + schedule);
    document.CmrGenerator().SetSVCount(svs, svs / 2);
}

}  // namespace cli
