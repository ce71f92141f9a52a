#include "cli/run_command.h"

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "cli/events_file.h"
#include "cli/test_recording.h"
#include "ports/recording/replay_session.h"
#include "ports/stream_path.h"
#include "web/status_server.h"

namespace cli {
namespace {

namespace Command = DocumentCommand;
using TolvarRT::CReplaySession;

bool StripPrefix(std::string& text, std::string_view prefix)
{
    if (text.rfind(prefix, 0) != 0)
        return false;
    text.erase(0, prefix.size());
    return true;
}

}  // namespace

bool ParseSourceChoice(const std::string& text, sPortChoice& choice, std::string& error)
{
    std::string port = text;
    choice.fakeCmr = StripPrefix(port, "fake-cmr");
    choice.fakeRtcm3 = !choice.fakeCmr && StripPrefix(port, "fake-rtcm3");
    choice.fakeAts = !choice.fakeCmr && !choice.fakeRtcm3 && StripPrefix(port, "fake-ats");
    if (choice.Generated() && !StripPrefix(port, ":")) {
        error = "--source " + text + ": generated frames need the port to the base radio: " + text + ":PORT";
        return false;
    }
    if (port.empty()) {
        error = "--source " + text + ": no port";
        return false;
    }
    // A misspelt generator would otherwise be opened as a device of that name.
    if (!choice.Generated() && port.rfind("fake-", 0) == 0) {
        error = "--source " + text + ": no such generator: fake-cmr:PORT, fake-rtcm3:PORT or fake-ats:PORT";
        return false;
    }
    choice.port = port;
    return true;
}

sRunResult RunLinkTest(const sRunOptions& options, std::ostream& progressOut)
{
    sRunResult result;
    // The command line keeps no settings: every choice comes from the flags.
    CMemorySettingsStore settings;
    CCommandLineUi ui;
    ui.listener = options.listener;
    ui.source = options.source;
    ui.listener.probe = ui.source.probe = !options.noProbe;
    CEventsFile events;  // outlives the document, whose collections write to it
    CTolvarTestSuiteDoc document(settings, ui);
    document.SetMatchWindow(options.loop.matchWindowS);
    // Its name labels every metric a monitoring server stores: never with a password.
    CStatusServer server(document, TolvarRT::ShownPortName(options.listener.port));
    if (!StartStatusServer(server, options.loop, result.error))
        return result;
    const bool generated = options.source.Generated();
    CTestRecording recording;
    if (!StartRecording(recording, document, options.loop, generated, result.error))
        return result;
    if (!StartEvents(events, document, options.loop, result.error))
        return result;
    const bool hasSource = !options.source.port.empty();
    const CConnectionWatch watch(document, options.loop, hasSource, recording, generated, events);

    if (!OpenLogFile(document, ui, options.logFile, options.logLevel, result.error))
        return result;
    // Generated ATS frames are only seen at the Listener when it cuts them.
    if (options.ats || options.source.fakeAts)
        document.Run(Command::kToggleAtsDecoding);

    // Devices that do not answer the identity request take seconds to probe.
    const auto announce = [&](const char* side, const std::string& port) {
        if (options.loop.progress)
            progressOut << "Connecting the " << side << " on " << TolvarRT::ShownPortName(port) << " ...\n"
                        << std::flush;
    };
    document.ListenerEndpoint().SetGgaPosition(options.ggaPosition);
    document.SourceEndpoint().SetGgaPosition(options.ggaPosition);
    announce("Listener", options.listener.port);
    if (!ConnectListener(document, ui, options.nmea, result.error))
        return result;
    if (hasSource)
        announce("Source", options.source.port);
    // Taken when the generator starts, as the Source connects.
    if (options.source.fakeRtcm3)
        document.Rtcm3Generator().SetSettings(options.rtcm3);
    if (hasSource && !ConnectSource(document, ui, result.error))
        return result;
    result.withSource = hasSource;
    if (options.source.fakeCmr)
        SetFakeCmr(document, options.schedule, options.svs);
    // Both sides are connected and tied: replayed recordings may begin.
    CReplaySession::StartAll();

    const unsigned seconds =
        RunTestSeconds(document, options.loop, progressOut, {&recording, &events, options.logFile});
    result.figures = EndTest(document, seconds, generated, kSourceDrain, options.loop);
    WarnOfBudget(options.loop, result.figures);
    FinishEvents(events, document, options.loop, result.figures);
    FinishRecording(recording, options.loop, result.figures);
    // Disconnecting the Listener logs the final summary.
    document.Shutdown();
    FinishLog(document, options.loop, options.logFile, result.figures);
    return result;
}

std::string RunText(const sRunResult& result)
{
    // Without a Source nothing is matched: no latency, no loss to show.
    return FiguresText(result.figures, result.withSource);
}

nlohmann::json RunJson(const sRunResult& result)
{
    return FiguresJson(result.figures);
}

}  // namespace cli
