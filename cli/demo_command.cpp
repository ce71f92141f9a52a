#include "cli/demo_command.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/stats_output.h"
#include "cli/status_server.h"

namespace cli {
namespace {

using namespace TolvarRT;
using namespace std::chrono_literals;
namespace Command = DocumentCommand;

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

}  // namespace

sDemoResult RunDemo(const sDemoOptions& options, std::ostream& progressOut)
{
    sDemoResult result;
    CEmulatedRadioLink link(options.channel);
    if (!link.Start(result.error))
        return result;

    // Settings of a demonstration stay out of the user's settings file.
    CMemorySettingsStore settings;
    CCommandLineUi ui;
    CTolvarTestSuiteDoc document(settings, ui);
    ui.listener.port = link.RoverPort();
    ui.listener.baudRate = 115200;
    document.Run(Command::kConnectListener);
    if (!document.IsListenerOpen()) {
        result.error = link.RoverPort() + ": the Listener port could not be opened";
        return result;
    }
    ui.source.port = link.BasePort();
    ui.source.baudRate = 115200;
    ui.source.fakeCmr = true;
    document.Run(Command::kConnectSource);
    if (!document.IsSourceOpen()) {
        result.error = link.BasePort() + ": the Source port could not be opened";
        return result;
    }
    document.Run(Command::kFakeSchedule0 + options.schedule);
    document.CmrGenerator().SetSVCount(options.svs, options.svs / 2);

    CStatusServer server(document);
    if (!options.serve.empty()) {
        if (!server.Start(options.serve, result.error))
            return result;
        if (options.onServing)
            options.onServing("http://" + server.Host() + ":" + std::to_string(server.Port()) + "/");
    }

    const auto start = std::chrono::steady_clock::now();
    for (unsigned second = 1; second <= options.seconds; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        // As the statistics view and the child frame's summary timer do.
        document.RefreshStatistics();
        if (second % 10 == 0)
            document.TakeIntervalSummary();
        if (options.progress) {
            progressOut << "\033[H\033[J" << document.TitleText() << "\n\n"
                        << TableText(document.StatisticsRows()) << "\n"
                        << second << " of " << options.seconds << " s" << std::flush;
        }
    }

    // The generator stops, the link drains, then the figures are read.
    result.title = document.TitleText();
    document.Run(Command::kDisconnectSource);
    std::this_thread::sleep_for(std::chrono::milliseconds(options.channel.latencyMs + options.channel.jitterMs) +
                                500ms);
    document.RefreshStatistics();
    if (options.progress)
        progressOut << "\033[H\033[J" << std::flush;

    const std::vector<sStatsRow> rows = document.StatisticsRows();
    result.tableText = TableText(rows);
    result.rows = TableJson(rows, document.ListenerStatistics());
    result.summary = document.ListenerStatistics().Summary(false);
    for (const sStatsRow& row : rows) {
        sDemoTypeResult type;
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
        result.types.push_back(type);
    }
    document.Run(Command::kDisconnectListener);
    link.Stop();
    result.account = link.Account();
    return result;
}

std::string DemoText(const sDemoResult& result)
{
    std::string text = result.title + "\n\n" + result.tableText + result.summary + "\n";
    const sRadioAccount& account = result.account;
    text += "Emulated radio link: " + Format("%.0f packets sent, %.0f dropped, %.0f corrupted, %.0f delivered",
                                             double(account.sent), double(account.dropped),
                                             double(account.corrupted), double(account.delivered));
    text += Format(", mean injected delay %.1f ms\n", account.MeanDelayMs());
    text += "Measured:";
    for (const sDemoTypeResult& type : result.types)
        text += "\n  " + type.name +
                Format(": %.0f received, %.0f unmatched, %.0f lost, mean latency %.1f ms", type.received,
                       type.unmatched, type.lost, type.meanLatencyMs);
    return text + "\n";
}

nlohmann::json DemoJson(const sDemoResult& result)
{
    nlohmann::json types = nlohmann::json::array();
    for (const sDemoTypeResult& type : result.types)
        types.push_back({{"name", type.name},
                         {"class", type.frameClass},
                         {"type", type.type},
                         {"sourceFrames", type.sourceFrames},
                         {"received", type.received},
                         {"matched", type.matched},
                         {"unmatched", type.unmatched},
                         {"lost", type.lost},
                         {"late", type.late},
                         {"meanLatencyMs", type.meanLatencyMs}});
    const sRadioAccount& account = result.account;
    return {{"title", result.title},
            {"rows", result.rows},
            {"summary", result.summary},
            {"measured", types},
            {"link",
             {{"sent", account.sent},
              {"dropped", account.dropped},
              {"corrupted", account.corrupted},
              {"delivered", account.delivered},
              {"meanInjectedDelayMs", account.MeanDelayMs()}}}};
}

}  // namespace cli
