// One link test: the Listener and Source endpoints, their decoders, one
// statistics collection per side, the fake generators, the radio handler, the
// log pipe and the log file, and every command of a test window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/canned_nmea.h"
#include "app/document_ui.h"
#include "app/file_log.h"
#include "app/nmea_output.h"
#include "app/settings_store.h"
#include "core/http_connector.h"
#include "core/log_pipe.h"
#include "core/subscription.h"
#include "decoders/ats_input_handler.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/dc_proto.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "position/performance_reset.h"
#include "radio/dc77_handler.h"
#include "sim/ats_simulator.h"
#include "sim/cmr_simulator.h"
#include "sim/rtcm3_simulator.h"
#include "stats/content_view_model.h"
#include "stats/stats_collection.h"
#include "stats/stats_table_model.h"

// Whether a product field names a receiver with an internal radio. The
// built-in model names can be extended with a comma-separated list in the
// settings store ("Settings", "InternalRadioModels").
bool IsReceiverWithInternalRadio(const std::string& productField, const ISettingsStore& settings);

// What a front end is told of a connection's probe and of the moment its
// frames begin to count, on the user-interface thread.
struct sConnectionHooks {
    // A probed port is open and its probe (identity requests, the radio's
    // mode) begins; source tells which side.
    std::function<void(bool source, const std::string& port)> probing;
    // The statistics were just reset for a connection: its frames count from
    // here. An unprobed port is told before it opens, so that its first byte
    // counts; a probed one once its probe is over, with how long that took
    // (negative: not probed).
    std::function<void(bool source, double probeSeconds)> counting;
};

// Thread rules: every operation runs on the user-interface thread, except
// the page operations and CancelProbes, which may be called from any thread.
// Frames arrive on the ports' reader threads and the generators' threads.
//
// A connection resets the statistics when its frames begin to count: before
// the port opens when it is not probed (an NTRIP caster, a replayed file, a
// port the user chose not to probe, an NMEA receiver), after its probe
// otherwise, whose replies are no frames of the test. The fake generators
// start after the Source's reset.
class CTolvarTestSuiteDoc : public TolvarRT::TSubscriber<Http::IHttpConnector> {
public:
    static constexpr unsigned kSummaryTimer = 7;
    static constexpr unsigned kCannedNmeaTimer = 78;
    static constexpr unsigned kSummaryPeriodMs = 10000;
    static constexpr unsigned kCannedNmeaPeriodMs = 10000;
    static constexpr unsigned kListenerHelpText = 59394;
    static constexpr unsigned kSourceHelpText = 59395;

    CTolvarTestSuiteDoc(ISettingsStore& settings, IDocumentUi& ui);
    ~CTolvarTestSuiteDoc() override;
    CTolvarTestSuiteDoc(const CTolvarTestSuiteDoc&) = delete;
    CTolvarTestSuiteDoc& operator=(const CTolvarTestSuiteDoc&) = delete;

    bool ConnectListener();
    bool ConnectNmeaListener();
    void DisconnectListener();
    bool ConnectSource();
    void DisconnectSource();
    void UpdateTitle();
    void ShowSimulationStatus();
    void ResetStatistics();
    void Shutdown();
    void SetConnectionHooks(sConnectionHooks hooks) { connectionHooks = std::move(hooks); }
    // The run is being ended (Ctrl+C): every wait of a probe, in progress or
    // to come, ends at once; the ports still open and count.
    void CancelProbes();

    // How long after it was sent a source frame may still be matched by a
    // received one; older ones are missed. Applies to both sides at once.
    static constexpr const char* kMatchWindowKey = "MatchWindowSeconds";
    static constexpr unsigned kMaxMatchWindowS = 3600;
    void SetMatchWindow(double seconds);
    double MatchWindow() const;
    // The desktop's choice: applied and remembered for the next document.
    void ChooseMatchWindow(unsigned seconds);

    // The command table: action, enable rule and check mark by command id.
    // Run returns false for an id the document does not answer or that is
    // disabled now.
    bool Run(unsigned commandId);
    bool IsEnabled(unsigned commandId) const;
    bool IsChecked(unsigned commandId) const;
    bool Claims(unsigned commandId) const;
    void ShowProductId();
    void ShowRadioState();
    void CreateLogFile();
    void CloseLogFile();

    // The statistics table as the view shows it, refreshed by the view's
    // timer (or by any front end that shows it); the refresh also lets both
    // collections judge outages as time passes.
    void RefreshStatistics();
    // Where the views keep their own choices (which columns show).
    ISettingsStore& Settings() { return settings; }
    std::vector<TolvarRT::sStatsRow> StatisticsRows() const { return statisticsTable.Rows(); }
    // The Stream Content window: while it watches, every refresh of the
    // statistics also reads what both sides' frames told and then calls
    // refreshed; null stops. A snapshot of both sides costs more than the
    // table's changed rows, so nobody pays for it while no window shows it.
    void WatchContent(std::function<void()> refreshed);
    // Reads both sides' content now, whether watched or not.
    void RefreshContent();
    TolvarRT::sContentView ContentView() const { return contentView.View(); }
    // The child frame's summary timer: the interval's summary, logged and
    // kept (with the time it was taken) for the status page.
    std::string TakeIntervalSummary();
    // The same, with the performance chart's sample of the interval (read
    // together with the summary under the statistics' lock). The summary
    // is kept in SummaryText.
    struct sChartSample {
        double value = 0.0;
        bool linkOutage = false;  // the Listener heard nothing for a while in the interval
    };
    sChartSample TakeIntervalSummaryAndChartValue();
    std::string SummaryText() const;
    // The canned sentence timer: while the Listener is open, the canned text
    // with this time of day goes to the Listener port (no line end);
    // otherwise the timer stops.
    void SendCannedNmea(const sTimeOfDay& time);
    const std::string& CannedNmea() const { return nmeaOutput.canned; }
    // The NMEA output to the Listener ("NMEA Output Config"): asked of the
    // user, kept in the settings store, and put to work at once and with
    // every Listener connection (the canned timer, the live forwarder).
    bool ConfigureNmeaOutput();
    const sNmeaOutputSettings& NmeaOutput() const { return nmeaOutput; }
    void SetNmeaOutput(const sNmeaOutputSettings& output);
    // The decoder whose sentences go out live: the application's common
    // NMEA source. Null detaches.
    void SetLiveNmeaSource(TolvarRT::CNMEAInputHandler* source);
    const CNmeaForwarder& LiveNmeaForwarder() const { return liveNmea; }

    std::string TitleText() const;
    std::string ListenerStatus() const;
    std::string SourceStatus() const;
    const std::string& PagePath() const { return pagePath; }
    bool IsListenerOpen() { return listener.IsPortOpen(); }
    bool IsSourceOpen() { return source.IsPortOpen(); }
    bool GeneratesFakeCmr() const { return generateFakeCmr.load(); }
    bool GeneratesFakeRtcm3() const { return generateFakeRtcm3.load(); }
    bool InternalRadioPiped() const { return internalRadioPiped; }
    bool HasRadioHandler() const { return radioHandler != nullptr; }

    CLogPipe& LogPipe() { return logPipe; }
    TolvarRT::CStatsCollection& ListenerStatistics() { return listenerStats; }
    TolvarRT::CStatsCollection& SourceStatistics() { return sourceStats; }
    TolvarRT::CCMRSimulator& CmrGenerator() { return cmrSimulator; }
    // Its settings are taken when the Source connects with it.
    TolvarRT::CRTCM3Simulator& Rtcm3Generator() { return rtcm3Simulator; }
    TolvarRT::CNMEAInputHandler& ListenerNmea() { return listenerNmea; }
    TolvarRT::CDCProto& ListenerEndpoint() { return listener; }
    TolvarRT::CDCProto& SourceEndpoint() { return source; }
    CFileLog& FileLog() { return fileLog; }

    // The position window counts the Listener's CMR frames, and registers
    // itself while it is open: every new connection starts its rate afresh.
    TolvarRT::CDCCMRHandler& ListenerCmr() { return listenerCmr; }
    void SetPositionView(TolvarRT::IPerformanceReset* view) { positionView = view; }
    TolvarRT::IPerformanceReset* PositionView() const { return positionView; }

    // Http::IHttpConnector
    std::string GetPath() override { return pagePath; }
    std::string GetTitle() override { return TitleText(); }
    bool GetPage(const char* requestPath, const char* query, char** page, std::size_t* length,
                 std::string* extraHeader) override;
    void FreePage(char* page) override;

private:
    std::unique_ptr<CPortSettings> MakePortSettings(const char* caption, unsigned helpTextId, bool source,
                                                    bool offerProbe = true);
    // Opens an endpoint as one waiting step of its command.
    bool OpenEndpoint(TolvarRT::CDCProto& endpoint, const TolvarRT::PortRequest& request,
                      const std::string& description);
    static std::string IdentityWaitText(const std::string& port);
    // The statistics, their views and the position window start afresh, and
    // the front end is told: the connection's frames count from here.
    void BeginCounting(bool source, double probeSeconds);
    // The summary timer restarts with a connection.
    void RestartSummaryTimer();
    // The live forwarder and the canned timer follow the choice; the timer
    // runs while canned output is on and the Listener open.
    void ApplyNmeaOutput();
    // Restarts the canned timer when it is to run (with every Listener
    // connection); false, touching nothing, when not.
    bool RestartCannedTimer();
    // Radio handlers whose waits CancelProbes ends, while they live.
    void WatchRadioHandler(TolvarRT::CDC77Handler* handler, bool watch);
    // ConnectSource without starting the fake generators, and the start.
    // A generator's first frame goes out at once, so the Connect Source
    // command starts them only after its statistics reset: a frame counted
    // and then reset at the Source, but received after the reset, would
    // show as unmatched at the Listener.
    bool ConnectSourcePort();
    void StartGenerators();
    void SelectSchedule(unsigned schedule);
    void ChangeSVCount(int delta);
    void SetRtcmDecoding();
    void ToggleAtsDecoding();
    // Logs a statistics summary at level None or Basic in pieces of whole
    // lines, each short enough for one log text.
    void LogSummary(const std::string& summary, unsigned level);
    // Logs the interval's summary at level None, then keeps it with the time
    // it was taken.
    std::string KeepIntervalSummary(std::string summary, TolvarRT::TimeStamp now);

    ISettingsStore& settings;
    IDocumentUi& ui;

    // Members in construction order; destroyed in reverse.
    CLogPipe logPipe;
    CLogNode log{&logPipe};
    std::unique_ptr<TolvarRT::CDC77Handler> radioHandler;
    TolvarRT::CDCCMRHandler listenerCmr{&logPipe};
    TolvarRT::CRTCMInputHandler listenerRtcm{&logPipe};
    TolvarRT::CRTCM3InputHandler listenerRtcm3{&logPipe};
    TolvarRT::CNMEAInputHandler listenerNmea{&logPipe};
    TolvarRT::CATSInputHandler listenerAts{&logPipe};
    TolvarRT::CATSInputHandler sourceAts{&logPipe};
    bool atsDecoding = false;
    TolvarRT::CDCProto listener{&logPipe};
    TolvarRT::CStatsCollection listenerStats{&logPipe, false};
    CFileLog fileLog;
    TolvarRT::CDCCMRHandler sourceCmr{&logPipe};
    TolvarRT::CRTCMInputHandler sourceRtcm{&logPipe};
    TolvarRT::CRTCM3InputHandler sourceRtcm3{&logPipe};
    TolvarRT::CNMEAInputHandler sourceNmea{&logPipe};
    TolvarRT::CCMRSimulator cmrSimulator{&sourceCmr, &logPipe};
    TolvarRT::CATSSimulator atsSimulator{&sourceAts, &logPipe};
    TolvarRT::CRTCM3Simulator rtcm3Simulator{&sourceRtcm3, &logPipe};
    TolvarRT::CDCProto source{&logPipe};
    std::atomic<bool> generateFakeCmr{false};
    std::atomic<bool> generateFakeAts{false};
    std::atomic<bool> generateFakeRtcm3{false};
    TolvarRT::CStatsCollection sourceStats{&logPipe, true};
    bool rtcmDecoding = true;
    // Its canned text is the test's cannedNmea.
    sNmeaOutputSettings nmeaOutput;
    TolvarRT::CStatsTableModel statisticsTable;
    TolvarRT::CContentViewModel contentView;
    std::function<void()> contentRefreshed;
    std::string summaryText;
    // Where the chart's next interval begins; only touched inside the listener
    // statistics' ReadTogether.
    TolvarRT::TimeStamp chartIntervalStart = 0;
    std::string listenerStatus = "Not Connected";
    std::string sourceStatus = "Not Connected";
    std::string titleText;
    const std::string pagePath;
    bool internalRadioPiped = false;
    bool listenerProbed = false;
    TolvarRT::IPerformanceReset* positionView = nullptr;
    sConnectionHooks connectionHooks;
    // CancelProbes against the handlers' coming and going.
    std::mutex probeLock;
    bool probesCancelled = false;                          // under probeLock
    std::vector<TolvarRT::CDC77Handler*> watchedHandlers;  // under probeLock
    // Last: it writes to the Listener, so it goes before the endpoint.
    CNmeaForwarder liveNmea{listener};
};
