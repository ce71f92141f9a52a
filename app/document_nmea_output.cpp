// What the test window's document sends the Listener's receiver of its own
// accord: the canned NMEA every ten seconds and the live sentences forwarded.
#include "app/tolvar_test_suite_doc.h"

using namespace TolvarRT;

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
