#include "app/tolvar_test_suite_doc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "app/chart_value.h"
#include "app/date_text.h"
#include "app/document_commands.h"
#include "app/port_settings.h"
#include "app/status_page.h"
#include "core/ascii_case.h"
#include "core/time_base.h"
#include "ports/recording/replay_session.h"
#include "ports/stream_path.h"

namespace {

using namespace TolvarRT;
namespace Command = DocumentCommand;

constexpr const char* kNotConnected = "Not Connected";
constexpr std::uint8_t kRadioModeCommand = 0x57;
constexpr unsigned kRadioModeWaitMs = 2500;
constexpr const char* kPipeWaitText = "Opening the pipe to the internal radio";
constexpr const char* kRadioWaitText = "Waiting for the radio's reply";

std::atomic<unsigned> documentCounter{0};

// Receivers that carry a radio of their own; the names are this program's
// own model designations.
constexpr const char* kInternalRadioModels[] = {
    "TR-100R", "TR-110R", "TR-120R", "TR-200R", "TR-210R", "TR-220R", "TR-300R", "TR-310R",
    "TR-320R", "TR-400R", "TR-410R", "TR-420R", "BX-5R",   "BX-6R",   "BX-7R",   "BX-8R",
    "MR-1",    "MR-2",    "MR-3",    "MR-4",    "SR-50",   "SR-60",   "SR-70",
};

std::vector<std::string> SplitAtCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ','))
        parts.push_back(part);
    return parts;
}

}  // namespace

bool IsReceiverWithInternalRadio(const std::string& productField, const ISettingsStore& settings)
{
    const std::vector<std::string> extra = SplitAtCommas(settings.ReadText("Settings", "InternalRadioModels", ""));
    for (const std::string& part : SplitAtCommas(productField)) {
        for (const char* model : kInternalRadioModels)
            if (EqualsIgnoringCase(part, model))
                return true;
        for (const std::string& model : extra)
            if (!model.empty() && EqualsIgnoringCase(part, model))
                return true;
    }
    return false;
}

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

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string CTolvarTestSuiteDoc::IdentityWaitText(const std::string& port)
{
    return "Waiting for the identity of " + port;
}

bool CTolvarTestSuiteDoc::OpenEndpoint(TolvarRT::CDCProto& endpoint, const TolvarRT::PortRequest& request,
                                       const std::string& description)
{
    // A network peer may take its time to accept, and a device settles
    // after it opens.
    bool opened = false;
    ui.RunWaitingStep("Opening " + description, [&] { opened = endpoint.OpenPort(request); });
    return opened;
}

bool CTolvarTestSuiteDoc::ConnectListener()
{
    const auto dialog = MakePortSettings("Listener", kListenerHelpText, false);
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        listenerStatus = kNotConnected;
    }
    internalRadioPiped = false;
    if (!ui.ShowPortSettings(*dialog))
        return false;
    const std::string description = TolvarRT::ShownPortName(dialog->PortName());
    listenerProbed = dialog->Probes();
    if (!listenerProbed)
        BeginCounting(false, -1.0);
    const auto probeStart = std::chrono::steady_clock::now();
    if (!OpenEndpoint(listener, dialog->MakePortRequest(0), description)) {
        ui.ShowInformation("Could not open Comm port");
        UpdateTitle();
        return listener.IsPortOpen();
    }
    ui.SetMainCaption("Connected to " + description);
    if (!listenerProbed) {
        log.LogBasic("Connected to %s without probing it", description.c_str());
        {
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            listenerStatus = description;
        }
        UpdateTitle();
        return listener.IsPortOpen();
    }
    if (connectionHooks.probing)
        connectionHooks.probing(false, description);
    ui.RunWaitingStep(IdentityWaitText(description), [this] { listener.ProbeIdentity(3); });
    sDeviceIdentity identity = listener.WaitForIdentity(false);
    std::string productField = identity.productField;
    std::string name = identity.productName;
    std::string status = description + " ";
    bool filtered = false;

    auto probe = std::make_unique<CDC77Handler>(&logPipe);
    WatchRadioHandler(probe.get(), true);
    probe->Subscribe(&listener);
    if (IsReceiverWithInternalRadio(productField, settings)) {
        const std::string receiverName = name;
        if (ui.AskYesNo("Open transparent pipe to internal radio?\nType 77/99 filter will be used otherwse.")) {
            ui.RunWaitingStep(kPipeWaitText, [this] { listener.OpenPipe(false); });
            identity = listener.WaitForIdentity(false);
            productField = identity.productField;
            name = identity.productName;
        } else {
            filtered = true;
            ui.RunWaitingStep(kPipeWaitText, [&] {
                listener.OpenPipe(true);
                productField = probe->RadioIdentity(true).productField;
                name = probe->RadioIdentity(false).productName;
            });
        }
        if (name != receiverName) {
            internalRadioPiped = true;
            status += filtered ? receiverName + " [ Radio " : "Internal " + receiverName + " Radio ";
        }
    }
    radioHandler = std::make_unique<CDC77Handler>(&logPipe);
    WatchRadioHandler(radioHandler.get(), true);
    if (!name.empty())
        log.LogBasic("Connected to %s\r\n", name.c_str());
    else
        log.LogBasic("Unknown connection!");
    radioHandler->Subscribe(&listener);
    status += name;
    if (filtered)
        status += " ]";
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        listenerStatus = status;
    }
    ui.RunWaitingStep(kRadioWaitText, [this] {
        const std::uint8_t modeData[3] = {0x00, 0x01, 0x01};
        radioHandler->SendRadioCommand(kRadioModeCommand, modeData, sizeof modeData, true, 0, kRadioModeWaitMs);
    });
    WatchRadioHandler(probe.get(), false);
    probe.reset();
    BeginCounting(false, SecondsSince(probeStart));
    UpdateTitle();
    return listener.IsPortOpen();
}

bool CTolvarTestSuiteDoc::ConnectNmeaListener()
{
    const auto dialog = MakePortSettings("Listener", kListenerHelpText, false, false);
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        listenerStatus = kNotConnected;
    }
    if (!ui.ShowPortSettings(*dialog))
        return false;
    // A receiver's NMEA port expects nothing from us: it is never probed,
    // and its first sentence counts.
    listenerProbed = false;
    BeginCounting(false, -1.0);
    const std::string description = TolvarRT::ShownPortName(dialog->PortName());
    if (OpenEndpoint(listener, dialog->MakePortRequest(0), description)) {
        ui.SetMainCaption("Connected to " + description);
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        listenerStatus = description;
    } else {
        ui.ShowInformation("Could not open Comm port");
    }
    UpdateTitle();
    return listener.IsPortOpen();
}

void CTolvarTestSuiteDoc::DisconnectListener()
{
    if (internalRadioPiped && ui.AskYesNo("Would you like to reset the Receivers Port?"))
        ui.RunWaitingStep("Resetting the receiver's port", [this] { listener.SendBreak(500); });
    WatchRadioHandler(radioHandler.get(), false);
    radioHandler.reset();
    internalRadioPiped = false;
    listenerProbed = false;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        listenerStatus = kNotConnected;
    }
    UpdateTitle();
    listener.ClosePort();
}

bool CTolvarTestSuiteDoc::ConnectSource()
{
    if (!ConnectSourcePort())
        return false;
    StartGenerators();
    return true;
}

void CTolvarTestSuiteDoc::StartGenerators()
{
    if (generateFakeCmr.load())
        cmrSimulator.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftwareAligned);
    if (generateFakeAts.load())
        atsSimulator.Start();
}

bool CTolvarTestSuiteDoc::ConnectSourcePort()
{
    const auto dialog = MakePortSettings("GPS Source", kSourceHelpText, true);
    if (!ui.ShowPortSettings(*dialog))
        return false;
    const std::string description = TolvarRT::ShownPortName(dialog->PortName());
    const bool probed = dialog->Probes();
    if (!probed)
        BeginCounting(true, -1.0);
    // Tied before the port opens: a replayed file delivers at once.
    generateFakeCmr.store(dialog->fakeCmr);
    generateFakeAts.store(dialog->fakeAts);
    listenerStats.SetSource(&sourceStats);
    if (!generateFakeCmr.load() && !generateFakeAts.load())
        sourceStats.SubscribeTo(&sourceCmr, &sourceRtcm, &sourceNmea, &sourceAts, &sourceRtcm3);
    if (generateFakeCmr.load()) {
        sourceStats.SubscribeTo(&cmrSimulator, nullptr, nullptr, nullptr, nullptr);
        cmrSimulator.SetSchedule(1);
        cmrSimulator.SetPaused(false);
        cmrSimulator.SetSVCount(9, 4);
    }
    if (generateFakeAts.load())
        sourceStats.SubscribeTo(nullptr, nullptr, nullptr, &atsSimulator, nullptr);
    const auto probeStart = std::chrono::steady_clock::now();
    if (!OpenEndpoint(source, dialog->MakePortRequest(0), description)) {
        ui.ShowInformation("Could not open Comm port");
        generateFakeCmr.store(false);
        generateFakeAts.store(false);
        sourceStats.UnsubscribeAll();
        listenerStats.SetSource(nullptr);
        return false;
    }
    if (probed) {
        if (connectionHooks.probing)
            connectionHooks.probing(true, description);
        ui.RunWaitingStep(IdentityWaitText(description), [this] { source.ProbeIdentity(1); });
    }
    std::string status;
    sDeviceIdentity identity = source.WaitForIdentity(false);
    if (probed && generateFakeCmr.load() && IsReceiverWithInternalRadio(identity.productField, settings)) {
        const std::string receiverName = identity.productName;
        ui.RunWaitingStep(kPipeWaitText, [this] { source.OpenPipe(false); });
        identity = source.WaitForIdentity(false);
        if (identity.productName != receiverName)
            status += "Internal " + receiverName + " Radio ";
    }
    status = description + " " + status + identity.productName;
    if (generateFakeCmr.load())
        status += "<Gen Fake>";
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        sourceStatus = status;
    }
    if (probed)
        BeginCounting(true, SecondsSince(probeStart));
    UpdateTitle();
    return true;
}

void CTolvarTestSuiteDoc::DisconnectSource()
{
    // The generators stop first: a generator sends one last frame as it
    // stops, which the source statistics must still count, or the Listener
    // would show one frame more than was sent.
    if (generateFakeCmr.exchange(false))
        cmrSimulator.Stop();
    if (generateFakeAts.exchange(false))
        atsSimulator.Stop();
    // Every publisher: a later connection must not count the old port's
    // RTCM v3, NMEA or ATS frames as source frames.
    sourceStats.UnsubscribeAll();
    listenerStats.SetSource(nullptr);
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        sourceStatus = kNotConnected;
    }
    UpdateTitle();
    source.ClosePort();
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

void CTolvarTestSuiteDoc::RefreshStatistics()
{
    // The view's once-a-second refresh is the document's steady tick: every
    // front end that shows the table drives it, and outages need time to
    // pass without frames to be judged, on the clock the frames carry.
    const TimeStamp now = CReplaySession::LinkTimeNow();
    listenerStats.CheckHealth(now);
    sourceStats.CheckHealth(now);
    statisticsTable.Refresh(listenerStats);
}

std::string CTolvarTestSuiteDoc::TakeIntervalSummary()
{
    const TimeStamp now = TimeStampNow();
    return KeepIntervalSummary(listenerStats.Summary(true, now), now);
}

CTolvarTestSuiteDoc::sChartSample CTolvarTestSuiteDoc::TakeIntervalSummaryAndChartValue()
{
    TimeStamp now = 0;
    sChartSample sample;
    std::string summary;
    listenerStats.ReadTogether([&] {
        now = TimeStampNow();
        const auto rate = [&](unsigned type, unsigned frameClass) {
            return listenerStats.IntervalRate(type, frameClass, now);
        };
        sample.value = ChartValue(rate, radioHandler != nullptr);
        // The interval began with the previous sample, or with the run.
        const TimeStamp from = std::max(chartIntervalStart, listenerStats.RunStart());
        sample.linkOutage = LinkWasOutBetween(listenerStats.Outages(now), from, now);
        chartIntervalStart = now;
        summary = listenerStats.Summary(true, now);
    });
    // Logged outside the statistics' lock: the log pipe's sinks may take
    // locks of their own that the port threads hold while they log.
    KeepIntervalSummary(std::move(summary), now);
    return sample;
}

std::string CTolvarTestSuiteDoc::SummaryText() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return summaryText;
}

void CTolvarTestSuiteDoc::SendCannedNmea(const sTimeOfDay& time)
{
    if (!listener.IsPortOpen()) {
        ui.StopTimer(kCannedNmeaTimer);
        return;
    }
    const std::string text = CannedNmeaOutput(nmeaOutput.canned, time);
    if (!text.empty())
        listener.Send(reinterpret_cast<const std::uint8_t*>(text.data()), std::uint32_t(text.size()));
}

bool CTolvarTestSuiteDoc::ConfigureNmeaOutput()
{
    sNmeaOutputSettings chosen = nmeaOutput;
    if (!ui.ShowNmeaOutputConfig(chosen))
        return false;
    SetNmeaOutput(chosen);
    return true;
}

void CTolvarTestSuiteDoc::SetNmeaOutput(const sNmeaOutputSettings& output)
{
    nmeaOutput = output;
    // An empty text would send nothing every ten seconds.
    if (nmeaOutput.canned.empty())
        nmeaOutput.canned = sNmeaOutputSettings::kDefaultCanned;
    WriteNmeaOutputSettings(settings, nmeaOutput);
    ApplyNmeaOutput();
}

void CTolvarTestSuiteDoc::ApplyNmeaOutput()
{
    liveNmea.SetForwarding(nmeaOutput.ForwardsLive());
    if (!RestartCannedTimer())
        ui.StopTimer(kCannedNmeaTimer);
}

bool CTolvarTestSuiteDoc::RestartCannedTimer()
{
    if (!nmeaOutput.SendsCanned() || !listener.IsPortOpen())
        return false;
    ui.StopTimer(kCannedNmeaTimer);
    ui.StartTimer(kCannedNmeaTimer, kCannedNmeaPeriodMs);
    return true;
}

void CTolvarTestSuiteDoc::SetLiveNmeaSource(TolvarRT::CNMEAInputHandler* source)
{
    liveNmea.Unsubscribe();
    if (source != nullptr)
        liveNmea.Subscribe(source);
}

std::string CTolvarTestSuiteDoc::KeepIntervalSummary(std::string summary, TimeStamp now)
{
    LogSummary(summary, kLogNone);
    char stamp[160];
    std::snprintf(stamp, sizeof stamp, "\nSummary as of %s[%0.3fs]\n", DateText(TimeStampToDate(now)).c_str(),
                  SecondsSinceStart(now));
    summary += stamp;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    summaryText = summary;
    return summary;
}

void CTolvarTestSuiteDoc::LogSummary(const std::string& summary, unsigned level)
{
    // A log line holds at most kLineSize bytes and a longer text would be
    // dropped whole: a summary of many frame types goes in pieces of whole
    // lines, each well below the bound (its time prefix included).
    constexpr std::size_t kPiece = CLogPipe::kLineSize - 200;
    std::size_t start = 0;
    while (start < summary.size()) {
        std::size_t end = summary.size();
        if (end - start > kPiece) {
            const std::size_t lineBreak = summary.rfind("\r\n", start + kPiece);
            end = lineBreak != std::string::npos && lineBreak > start ? lineBreak : start + kPiece;
        }
        const std::string piece = summary.substr(start, end - start);
        if (level == kLogNone)
            log.LogAlways("%s", piece.c_str());
        else
            log.LogBasic("%s", piece.c_str());
        start = end;
    }
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

bool CTolvarTestSuiteDoc::GetPage(const char*, const char*, char** page, std::size_t* length, std::string* extraHeader)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const std::vector<sStatsRow> rows = statisticsTable.Rows();
    const auto& headers = CStatsTableModel::ColumnHeaders();
    sStatusPageInput input;
    input.title = titleText;
    input.headers = std::span<const char* const>(headers.data(), headers.size());
    input.rows = rows;
    input.summary = summaryText;
    input.epoch = ProgramEpoch::Current();
    input.now = TimeStampNow();
    return HandOutStatusPage(input, page, length, extraHeader);
}

void CTolvarTestSuiteDoc::FreePage(char* page)
{
    FreeStatusPage(page);
}
