// The command table of a test window, answered by its document.
#include <chrono>
#include <thread>

#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"

namespace {

namespace Command = DocumentCommand;

bool IsSchedule(unsigned id)
{
    return id >= Command::kFakeSchedule0 && id <= Command::kFakeSchedule6;
}

bool IsFileLevel(unsigned id)
{
    return id >= Command::kFileLogNone && id <= Command::kFileLogAll;
}

}  // namespace

bool CTolvarTestSuiteDoc::Claims(unsigned id) const
{
    switch (id) {
    case Command::kConnectListener:
    case Command::kConnectNmeaListener:
    case Command::kDisconnectListener:
    case Command::kGetProductId:
    case Command::kShowRadioState:
    case Command::kConnectSource:
    case Command::kDisconnectSource:
    case Command::kIncreaseSVs:
    case Command::kDecreaseSVs:
    case Command::kPauseFakeCmrs:
    case Command::kUseRtcmDecoder:
    case Command::kToggleAtsDecoding:
    case Command::kCreateLogFile:
    case Command::kCloseLogFile:
    case Command::kConfigureListener:
    case Command::kShowListenerStatistics:
    case Command::kRadioPipes:
    case Command::kLogUnknownData:
    case Command::kPositionWindow:
    case Command::kDisabled32859:
    case Command::kEnabled32864:
    case Command::kNmeaOutputToListener: return true;
    default: return IsSchedule(id) || IsFileLevel(id);
    }
}

bool CTolvarTestSuiteDoc::IsEnabled(unsigned id) const
{
    auto& self = const_cast<CTolvarTestSuiteDoc&>(*this);
    if (IsSchedule(id))
        return generateFakeCmr.load();
    if (IsFileLevel(id))
        return self.fileLog.IsOpen();
    switch (id) {
    case Command::kConnectListener:
    case Command::kConnectNmeaListener: return !self.listener.IsPortOpen();
    case Command::kDisconnectListener: return self.listener.IsPortOpen();
    // Nothing goes up a port that is not probed: no identity request either.
    case Command::kGetProductId: return self.listener.IsPortOpen() && listenerProbed;
    case Command::kShowRadioState: return radioHandler != nullptr;
    case Command::kConnectSource: return !self.source.IsPortOpen();
    case Command::kDisconnectSource: return self.source.IsPortOpen();
    case Command::kIncreaseSVs: return generateFakeCmr.load() && cmrSimulator.GetSVCount() < 15;
    case Command::kDecreaseSVs: return generateFakeCmr.load() && cmrSimulator.GetSVCount() > 1;
    case Command::kPauseFakeCmrs:
    case Command::kUseRtcmDecoder:
    case Command::kToggleAtsDecoding:
    case Command::kEnabled32864:
    case Command::kNmeaOutputToListener: return true;
    case Command::kCreateLogFile: return !self.fileLog.IsOpen();
    case Command::kCloseLogFile: return self.fileLog.IsOpen();
    default: return false;
    }
}

bool CTolvarTestSuiteDoc::IsChecked(unsigned id) const
{
    auto& self = const_cast<CTolvarTestSuiteDoc&>(*this);
    if (IsSchedule(id))
        return cmrSimulator.GetSchedule() == id - Command::kFakeSchedule0;
    if (IsFileLevel(id))
        return self.fileLog.GetLogLevel() == id - Command::kFileLogNone;
    switch (id) {
    case Command::kPauseFakeCmrs: return cmrSimulator.IsPaused();
    case Command::kUseRtcmDecoder: return rtcmDecoding;
    case Command::kToggleAtsDecoding: return atsDecoding;
    default: return false;
    }
}

bool CTolvarTestSuiteDoc::Run(unsigned id)
{
    if (!Claims(id) || !IsEnabled(id))
        return false;
    if (IsSchedule(id)) {
        SelectSchedule(id - Command::kFakeSchedule0);
        return true;
    }
    if (IsFileLevel(id)) {
        settings.WriteInt("Settings", "FileLogLevel", fileLog.SetLogLevel(int(id - Command::kFileLogNone)));
        return true;
    }
    switch (id) {
    case Command::kConnectListener:
        if (ConnectListener()) {
            RestartSummaryTimer();
            RestartCannedTimer();
        }
        return true;
    case Command::kConnectNmeaListener:
        if (ConnectNmeaListener()) {
            RestartSummaryTimer();
            RestartCannedTimer();
        }
        return true;
    case Command::kDisconnectListener:
        DisconnectListener();
        LogSummary(listenerStats.Summary(false), kLogBasic);
        ui.StopTimer(kSummaryTimer);
        return true;
    case Command::kGetProductId: ShowProductId(); return true;
    case Command::kShowRadioState: ShowRadioState(); return true;
    case Command::kConnectSource:
        if (ConnectSourcePort()) {
            RestartSummaryTimer();
            StartGenerators();
        }
        ShowSimulationStatus();
        return true;
    case Command::kDisconnectSource:
        DisconnectSource();
        ShowSimulationStatus();
        return true;
    case Command::kIncreaseSVs: ChangeSVCount(+1); return true;
    case Command::kDecreaseSVs: ChangeSVCount(-1); return true;
    case Command::kPauseFakeCmrs:
        cmrSimulator.SetPaused(!cmrSimulator.IsPaused());
        ShowSimulationStatus();
        return true;
    case Command::kUseRtcmDecoder: SetRtcmDecoding(); return true;
    case Command::kToggleAtsDecoding: ToggleAtsDecoding(); return true;
    case Command::kCreateLogFile: CreateLogFile(); return true;
    case Command::kCloseLogFile: CloseLogFile(); return true;
    case Command::kNmeaOutputToListener: ConfigureNmeaOutput(); return true;
    default: return false;  // claimed, without an action
    }
}

void CTolvarTestSuiteDoc::SelectSchedule(unsigned schedule)
{
    cmrSimulator.SetSchedule(schedule);
    const unsigned n = cmrSimulator.GetSVCount();
    cmrSimulator.SetSVCount(n, n / 2);
    ShowSimulationStatus();
}

void CTolvarTestSuiteDoc::ChangeSVCount(int delta)
{
    const unsigned n = unsigned(int(cmrSimulator.GetSVCount()) + delta);
    cmrSimulator.SetSVCount(n, n / 2);
    ShowSimulationStatus();
}

void CTolvarTestSuiteDoc::SetRtcmDecoding()
{
    rtcmDecoding = true;
    sourceRtcm.SetEnabled(rtcmDecoding);
    sourceRtcm3.SetEnabled(rtcmDecoding);
    listenerRtcm.SetEnabled(rtcmDecoding);
    listenerRtcm3.SetEnabled(rtcmDecoding);
}

void CTolvarTestSuiteDoc::ToggleAtsDecoding()
{
    atsDecoding = !atsDecoding;
    listenerAts.SetEnabled(atsDecoding);
    sourceAts.SetEnabled(atsDecoding);
}

void CTolvarTestSuiteDoc::ShowProductId()
{
    if (!listener.IsPortOpen())
        return;
    const bool go =
        !internalRadioPiped || ui.AskYesNo("This will reset the pipe, are you sure you want to send a break.");
    std::string text;
    ui.RunWaitingStep("Asking the Listener for its product ID", [&] {
        if (go) {
            if (listener.DetectIdentity(false, true))
                text = listener.WaitForIdentity(false).text;
        } else {
            text = listener.WaitForIdentity(true).text;
        }
    });
    std::string shown;
    for (char ch : text)
        shown += ch == ';' ? std::string(";\n ") : std::string(1, ch);
    ui.ShowInformation("Product ID =\n\n" + shown);
    if (internalRadioPiped && go) {
        // The break restarted the receiver: it takes its time before it
        // takes a pipe request again.
        ui.RunWaitingStep("Waiting for the receiver to restart, then opening the pipe again", [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(6000));
            listener.OpenPipe(false);
        });
    }
}

void CTolvarTestSuiteDoc::ShowRadioState()
{
    if (radioHandler == nullptr)
        return;
    TolvarRT::sRadioStateRecord record;
    bool answered = false;
    ui.RunWaitingStep("Asking the radio for its state", [&] { answered = radioHandler->QueryRadioState(record); });
    if (!answered)
        return;
    const std::string text = TolvarRT::CDC77Handler::FormatRadioState(record);
    log.LogAlways("Radio State\n%s", text.c_str());
    ui.ShowInformation(text);
}

void CTolvarTestSuiteDoc::CreateLogFile()
{
    std::string initial = settings.ReadProfileText("Settings", "LogPath", "");
    if (initial.size() > 500)
        initial.resize(500);
    const std::optional<std::string> path =
        ui.AskSaveFileName(initial, CFileLog::kDefaultExtension, CFileLog::kDialogFilter);
    if (path && fileLog.OpenFile(*path))
        settings.WriteProfileText("Settings", "LogPath", *path);
}

void CTolvarTestSuiteDoc::CloseLogFile()
{
    if (fileLog.IsOpen())
        fileLog.CloseFile();
}
