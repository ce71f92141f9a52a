// How the test window's document connects and disconnects the Listener and
// the Source: the port dialog, the probe for the device's identity, the pipe
// to a receiver's internal radio, and the generators on the Source's side.
#include "app/tolvar_test_suite_doc.h"

#include <chrono>
#include <sstream>

#include "app/port_settings.h"
#include "core/ascii_case.h"
#include "ports/stream_path.h"

namespace {

using namespace TolvarRT;

constexpr const char* kNotConnected = "Not Connected";
constexpr std::uint8_t kRadioModeCommand = 0x57;
constexpr unsigned kRadioModeWaitMs = 2500;
constexpr const char* kPipeWaitText = "Opening the pipe to the internal radio";
constexpr const char* kRadioWaitText = "Waiting for the radio's reply";

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

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    if (generateFakeRtcm3.load())
        rtcm3Simulator.Start();
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
    generateFakeRtcm3.store(dialog->fakeRtcm3);
    const bool generated = generateFakeCmr.load() || generateFakeAts.load() || generateFakeRtcm3.load();
    listenerStats.SetSource(&sourceStats);
    if (!generated)
        sourceStats.SubscribeTo(&sourceCmr, &sourceRtcm, &sourceNmea, &sourceAts, &sourceRtcm3);
    if (generateFakeCmr.load()) {
        sourceStats.SubscribeTo(&cmrSimulator, nullptr, nullptr, nullptr, nullptr);
        cmrSimulator.SetSchedule(1);
        cmrSimulator.SetPaused(false);
        cmrSimulator.SetSVCount(9, 4);
    }
    if (generateFakeAts.load())
        sourceStats.SubscribeTo(nullptr, nullptr, nullptr, &atsSimulator, nullptr);
    if (generateFakeRtcm3.load())
        sourceStats.SubscribeTo(nullptr, nullptr, nullptr, nullptr, &rtcm3Simulator);
    const auto probeStart = std::chrono::steady_clock::now();
    if (!OpenEndpoint(source, dialog->MakePortRequest(0), description)) {
        ui.ShowInformation("Could not open Comm port");
        generateFakeCmr.store(false);
        generateFakeAts.store(false);
        generateFakeRtcm3.store(false);
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
    const bool feedsRadio = generateFakeCmr.load() || generateFakeRtcm3.load();
    if (probed && feedsRadio && IsReceiverWithInternalRadio(identity.productField, settings)) {
        const std::string receiverName = identity.productName;
        ui.RunWaitingStep(kPipeWaitText, [this] { source.OpenPipe(false); });
        identity = source.WaitForIdentity(false);
        if (identity.productName != receiverName)
            status += "Internal " + receiverName + " Radio ";
    }
    status = description + " " + status + identity.productName;
    if (feedsRadio)
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
    if (generateFakeRtcm3.exchange(false))
        rtcm3Simulator.Stop();
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
