// The test window's document: its decoders, statistics and generators
// wired together, its title and its lifetime. How it connects the ports is
// in document_connections.cpp, its summaries and status page in
// document_summary.cpp, its NMEA output in document_nmea_output.cpp.
#include "app/tolvar_test_suite_doc.h"

#include <algorithm>
#include <cstdio>

#include "app/document_commands.h"
#include "app/port_settings.h"
#include "app/status_page.h"
#include "core/time_base.h"

namespace {

using namespace TolvarRT;
namespace Command = DocumentCommand;

std::atomic<unsigned> documentCounter{0};

}  // namespace

CTolvarTestSuiteDoc::CTolvarTestSuiteDoc(ISettingsStore& store, IDocumentUi& documentUi)
    : settings(store),
      ui(documentUi),
      fileLog(logPipe, store.ReadInt("Settings", "FileLogLevel", CFileLog::kDefaultLevel)),
      pagePath(StatusPagePath(documentCounter.fetch_add(1)))
{
    listenerCmr.Subscribe(&listener);
    sourceCmr.Subscribe(&source);
    listenerRtcm.Subscribe(&listener);
    listenerRtcm3.Subscribe(&listener);
    listenerAts.Subscribe(&listener);
    sourceRtcm.Subscribe(&source);
    sourceRtcm3.Subscribe(&source);
    sourceAts.Subscribe(&source);
    // Both NMEA decoders take their endpoint's bytes, so that an NMEA
    // Listener and the position window receive sentences.
    listenerNmea.Subscribe(&listener);
    sourceNmea.Subscribe(&source);
    listenerStats.SubscribeTo(&listenerCmr, &listenerRtcm, &listenerNmea, &listenerAts, &listenerRtcm3);
    // Bytes no decoder of a side could use are that side's corruption.
    listener.SetRejectedBytesSink(
        [this](std::uint64_t bytes, TimeStamp time) { listenerStats.RecordRejected(bytes, time); });
    source.SetRejectedBytesSink(
        [this](std::uint64_t bytes, TimeStamp time) { sourceStats.RecordRejected(bytes, time); });
    sourceCmr.SetName("GPS");
    sourceRtcm.SetName("GPS");
    sourceRtcm3.SetName("GPS");
    SetRtcmDecoding();
    const int window = settings.ReadInt("Settings", kMatchWindowKey, int(CStatsCollection::kDefaultMatchWindowS));
    if (window > 0 && unsigned(window) <= kMaxMatchWindowS)
        SetMatchWindow(window);
    nmeaOutput = ReadNmeaOutputSettings(settings);
    liveNmea.SetForwarding(nmeaOutput.ForwardsLive());
    logPipe.RaiseSinkLevel();
    UpdateTitle();
}

void CTolvarTestSuiteDoc::SetMatchWindow(double seconds)
{
    listenerStats.SetMatchWindow(seconds);
    sourceStats.SetMatchWindow(seconds);
}

double CTolvarTestSuiteDoc::MatchWindow() const
{
    return listenerStats.MatchWindow();
}

void CTolvarTestSuiteDoc::ChooseMatchWindow(unsigned seconds)
{
    seconds = std::clamp(seconds, 1u, kMaxMatchWindowS);
    SetMatchWindow(seconds);
    settings.WriteInt("Settings", kMatchWindowKey, int(seconds));
}

CTolvarTestSuiteDoc::~CTolvarTestSuiteDoc()
{
    Unsubscribe();
    // Nothing may run on another thread while the members go.
    cmrSimulator.Stop();
    atsSimulator.Stop();
    rtcm3Simulator.Stop();
    listener.ClosePort();
    source.ClosePort();
    listener.SetRejectedBytesSink(nullptr);
    source.SetRejectedBytesSink(nullptr);
    WatchRadioHandler(radioHandler.get(), false);
    radioHandler.reset();
    listenerStats.UnsubscribeAll();
    sourceStats.UnsubscribeAll();
}

std::unique_ptr<CPortSettings> CTolvarTestSuiteDoc::MakePortSettings(const char* caption, unsigned helpTextId,
                                                                     bool forSource, bool offerProbe)
{
    auto dialog = std::make_unique<CPortSettings>(settings, caption, true, false, ui.SerialDevices());
    dialog->helpTextId = helpTextId;
    dialog->offerFakeCmr = forSource;
    // Offered beside fake CMR: without it a front end's choice of generated
    // ATS frames was dropped and the generator never ran.
    dialog->offerFakeAts = forSource;
    dialog->offerFakeRtcm3 = forSource;
    dialog->offerProbe = offerProbe;
    dialog->Load();
    return dialog;
}

void CTolvarTestSuiteDoc::BeginCounting(bool forSource, double probeSeconds)
{
    // "Last Time" and the log's seconds count from here, as the test does.
    ProgramEpoch::Retake();
    ui.ResetStatisticsViews();
    logPipe.RaiseSinkLevel();
    listenerStats.Reset();
    sourceStats.Reset();
    if (positionView != nullptr)
        positionView->ResetPerformance();
    if (connectionHooks.counting)
        connectionHooks.counting(forSource, probeSeconds);
}

void CTolvarTestSuiteDoc::RestartSummaryTimer()
{
    if (listener.IsPortOpen()) {
        ui.StopTimer(kSummaryTimer);
        ui.StartTimer(kSummaryTimer, kSummaryPeriodMs);
    }
}

void CTolvarTestSuiteDoc::CancelProbes()
{
    std::lock_guard<std::mutex> guard(probeLock);
    probesCancelled = true;
    listener.CancelWaits();
    source.CancelWaits();
    for (CDC77Handler* handler : watchedHandlers)
        handler->CancelWaits();
}

void CTolvarTestSuiteDoc::WatchRadioHandler(CDC77Handler* handler, bool watch)
{
    if (handler == nullptr)
        return;
    std::lock_guard<std::mutex> guard(probeLock);
    if (!watch) {
        std::erase(watchedHandlers, handler);
        return;
    }
    watchedHandlers.push_back(handler);
    if (probesCancelled)
        handler->CancelWaits();
}

void CTolvarTestSuiteDoc::UpdateTitle()
{
    std::string title;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        titleText = "Listener : " + listenerStatus + " | Source : " + sourceStatus;
        title = titleText;
    }
    ui.SetDocumentTitle(title);
}

void CTolvarTestSuiteDoc::ShowSimulationStatus()
{
    std::string text;
    if (source.IsPortOpen() && generateFakeCmr.load()) {
        if (cmrSimulator.IsPaused()) {
            text = "PAUSED";
        } else {
            char line[64];
            std::snprintf(line, sizeof line, "Simulating %d SVs (%d W)", int(cmrSimulator.GetSVCount()),
                          int(cmrSimulator.GetSecondCount()));
            text = line;
        }
    }
    if (source.IsPortOpen() && generateFakeRtcm3.load()) {
        const sRTCM3SimSettings chosen = rtcm3Simulator.Settings();
        text = "Simulating MSM" + std::to_string(chosen.msm) + " " + SimSatellitesText(chosen.satellites) + " at " +
               std::to_string(chosen.epochsPerSecond) + " Hz";
    }
    ui.SetStatusPane(text);
}

void CTolvarTestSuiteDoc::ResetStatistics()
{
    logPipe.RaiseSinkLevel();
    RestartSummaryTimer();
    listenerStats.Reset();
    sourceStats.Reset();
}

void CTolvarTestSuiteDoc::Shutdown()
{
    if (listener.IsPortOpen())
        Run(Command::kDisconnectListener);
    if (source.IsPortOpen()) {
        DisconnectSource();
        ShowSimulationStatus();
    }
    if (fileLog.IsOpen())
        fileLog.CloseFile();
}

std::string CTolvarTestSuiteDoc::TitleText() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return titleText;
}

std::string CTolvarTestSuiteDoc::ListenerStatus() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return listenerStatus;
}

std::string CTolvarTestSuiteDoc::SourceStatus() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return sourceStatus;
}
