#include "cli/demo_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/command_line_ui.h"
#include "cli/events_file.h"
#include "cli/log_pane_drain.h"
#include "cli/test_recording.h"
#include "core/string_format.h"
#include "web/status_server.h"

namespace cli {

using namespace TolvarRT;
using namespace std::chrono_literals;
namespace Command = DocumentCommand;

bool ParseDropWindow(const std::string& text, sDropWindow& window)
{
    double from = 0.0;
    double to = 0.0;
    char dash = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%lf%c%lf%c", &from, &dash, &to, &extra) != 3 || dash != '-')
        return false;
    if (!(from >= 0.0 && to > from && to < 1e6))
        return false;
    window.fromMs = unsigned(std::lround(from * 1000.0));
    window.toMs = unsigned(std::lround(to * 1000.0));
    return true;
}

sDemoResult RunDemo(const sDemoOptions& options, std::ostream& progressOut)
{
    sDemoResult result;
    CEmulatedRadioLink link(options.channel);
    if (!link.Start(result.error))
        return result;

    // Settings of a demonstration stay out of the user's settings file.
    CMemorySettingsStore settings;
    CCommandLineUi ui;
    CEventsFile events;  // outlives the document, whose collections write to it
    CTolvarTestSuiteDoc document(settings, ui);
    document.SetMatchWindow(options.loop.matchWindowS);
    if (!OpenLogFile(document, ui, options.logFile, options.logLevel, result.error))
        return result;
    std::optional<CLogPaneDrain> pane;
    if (options.paneLevel >= 0) {
        pane.emplace(document.LogPipe(), options.paneLevel);
        pane->Start();
    }
    CStatusServer server(document, "demo");
    if (!StartStatusServer(server, options.loop, result.error))
        return result;
    CTestRecording recording;
    if (!StartRecording(recording, document, options.loop, true, result.error))
        return result;
    if (!StartEvents(events, document, options.loop, result.error))
        return result;
    const CConnectionWatch watch(document, options.loop, true, recording, true, events);
    ui.listener.port = link.RoverPort();
    ui.listener.baudRate = 115200;
    if (!ConnectListener(document, ui, false, result.error))
        return result;
    ui.source.port = link.BasePort();
    ui.source.baudRate = 115200;
    const bool rtcm3 = options.traffic == sDemoOptions::Traffic::Rtcm3;
    ui.source.fakeCmr = !rtcm3;
    ui.source.fakeRtcm3 = rtcm3;
    // Taken when the generator starts, as the Source connects.
    if (rtcm3)
        document.Rtcm3Generator().SetSettings(options.rtcm3);
    if (!ConnectSource(document, ui, result.error))
        return result;
    if (!rtcm3)
        SetFakeCmr(document, options.schedule, options.svs);

    const unsigned seconds =
        RunTestSeconds(document, options.loop, progressOut, {&recording, &events, options.logFile});
    const auto drain = std::chrono::milliseconds(options.channel.latencyMs + options.channel.jitterMs) + 500ms;
    result.figures = EndTest(document, seconds, true, drain, options.loop);
    WarnOfBudget(options.loop, result.figures);
    FinishEvents(events, document, options.loop, result.figures);
    FinishRecording(recording, options.loop, result.figures);
    document.Run(Command::kDisconnectListener);
    FinishLog(document, options.loop, options.logFile, result.figures);
    if (pane) {
        pane->Stop();
        result.paneBytes = pane->ShownBytes();
    }
    link.Stop();
    result.account = link.Account();
    return result;
}

std::string DemoText(const sDemoResult& result)
{
    const sRadioAccount& account = result.account;
    const std::string text = StringPrintf(
        "Emulated radio link: %llu packets sent, %llu dropped, %llu corrupted, %llu delivered, mean injected delay "
        "%.1f ms\n",
        static_cast<unsigned long long>(account.sent), static_cast<unsigned long long>(account.dropped),
        static_cast<unsigned long long>(account.corrupted), static_cast<unsigned long long>(account.delivered),
        account.MeanDelayMs());
    return FiguresText(result.figures, true) + text;
}

nlohmann::json DemoJson(const sDemoResult& result)
{
    nlohmann::json json = FiguresJson(result.figures);
    const sRadioAccount& account = result.account;
    json["link"] = {{"sent", account.sent},           {"dropped", account.dropped},
                    {"corrupted", account.corrupted}, {"droppedInWindows", account.droppedInWindows},
                    {"delivered", account.delivered}, {"meanInjectedDelayMs", account.MeanDelayMs()}};
    return json;
}

}  // namespace cli
