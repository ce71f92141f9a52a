// The behaviour of the port settings dialog: stored defaults, the modes, Open
// and the recent connections.
#include "app/port_settings.h"

#include <algorithm>
#include <array>

namespace {

constexpr const char* kSection = "Settings";

constexpr std::array<std::uint32_t, 9> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
constexpr std::array<const char*, 3> kParities = {"None", "Odd", "Even"};
constexpr std::array<std::uint32_t, 3> kCanRates = {250000, 500000, 1000000};

struct sModeName {
    int mode;
    const char* text;
};
constexpr std::array<sModeName, 4> kModeNames = {{
    {kSerialPortMode, "Serial Port"},
    {kTcpMode, "TCP"},
    {kCanMode, "CAN"},
    {kUdpSpMode, "UDP SP"},
}};

// Without a selection Open falls back to the first-start choice rather than
// to nothing, so a hand-edited setting never opens a port at 0 baud.
constexpr std::uint32_t kFallbackBaudRate = 38400;
constexpr std::uint32_t kFallbackCanRate = 250000;
constexpr const char* kFallbackCanPort = "CAN0";

std::string CanRateText(std::uint32_t rate)
{
    return std::to_string(rate / 1000) + "k";
}

}  // namespace

CPortSettings::CPortSettings(ISettingsStore& settingsStore, std::string prefix, bool network, bool can,
                             std::vector<std::string> devices, unsigned canCount)
    : store(settingsStore),
      settingsPrefix(std::move(prefix)),
      allowNetwork(network),
      allowCan(can),
      serialDevices(std::move(devices)),
      canInterfaceCount(canCount),
      recentPorts(settingsStore, settingsPrefix)
{
}

std::string CPortSettings::WindowTitle() const
{
    return settingsPrefix + " Port Properties";
}

bool CPortSettings::IsOffered(int candidate) const
{
    switch (candidate) {
    case kSerialPortMode: return true;
    case kTcpMode:
    case kUdpSpMode: return allowNetwork;
    case kCanMode: return allowCan;
    default: return false;
    }
}

void CPortSettings::Load()
{
    serialPorts.Clear();
    for (std::size_t i = 0; i < serialDevices.size(); ++i)
        serialPorts.Add(serialDevices[i], static_cast<std::uint32_t>(i));
    baudRates.Clear();
    for (const std::uint32_t rate : kBaudRates)
        baudRates.Add(std::to_string(rate), rate);
    parities.Clear();
    for (std::size_t i = 0; i < kParities.size(); ++i)
        parities.Add(kParities[i], static_cast<std::uint32_t>(i));
    canRates.Clear();
    for (const std::uint32_t rate : kCanRates)
        canRates.Add(CanRateText(rate), rate);
    canInterfaces.Clear();
    for (unsigned number = 0; number < canInterfaceCount; ++number)
        canInterfaces.Add("CAN" + std::to_string(number), number);

    networkAddress = store.ReadText(kSection, Key("NetAddress"), "");
    SelectSerialPort(store.ReadText(kSection, Key("Port"), "COM1"));
    baudRates.SelectByPrefix(store.ReadText(kSection, Key("DataRate"), "38400"));
    canRates.SelectByPrefix(store.ReadText(kSection, Key("CANDataRate"), "250k"));
    canInterfaces.SelectByPrefix(store.ReadText(kSection, Key("CANPort"), "CAN0"));
    parities.SelectByPrefix(store.ReadText(kSection, Key("Parity"), "None"));

    modeList.Clear();
    std::vector<sModeName> offered;
    for (const sModeName& name : kModeNames) {
        if (IsOffered(name.mode))
            offered.push_back(name);
    }
    std::sort(offered.begin(), offered.end(),
              [](const sModeName& left, const sModeName& right) { return std::string_view(left.text) < right.text; });
    for (const sModeName& name : offered)
        modeList.Add(name.text, static_cast<std::uint32_t>(name.mode));
    const int storedMode = store.ReadInt(kSection, Key("Mode"), kSerialPortMode);
    mode = IsOffered(storedMode) ? storedMode : kSerialPortMode;
    modeList.SelectByValue(static_cast<std::uint32_t>(mode));

    recentPorts.Load();

    fakeCmr = offerFakeCmr && store.ReadInt(kSection, Key("FakeGPS"), 1) != 0;
    // Unticked until the user ticks it once: the Source offers this box
    // beside fake CMR, and a first connection to a real base must not start
    // sending ATS frames nobody asked for.
    fakeAts = offerFakeAts && store.ReadInt(kSection, Key("FakeATS"), 0) != 0;
    loaded = true;
}

bool CPortSettings::SelectMode(int newMode)
{
    if (!IsOffered(newMode))
        return false;
    mode = newMode;
    modeList.SelectByValue(static_cast<std::uint32_t>(mode));
    return true;
}

void CPortSettings::SelectSerialPort(const std::string& port)
{
    int index = serialPorts.FindText(port);
    if (index == CChoiceList::kNone && !port.empty()) {
        serialPorts.Insert(0, port, static_cast<std::uint32_t>(serialDevices.size()));
        index = 0;
    }
    serialPorts.Select(index);
}

sRecentButton CPortSettings::RecentButton(int slot) const
{
    const std::optional<std::string> caption = RecentCaption(recentPorts.Slot(slot), allowNetwork, allowCan);
    return caption ? sRecentButton{true, *caption} : sRecentButton{};
}

void CPortSettings::Open()
{
    if (!loaded)
        Load();
    store.WriteInt(kSection, Key("Mode"), mode);

    sRecentPort used;
    if ((mode == kTcpMode || mode == kUdpSpMode) && allowNetwork) {
        store.WriteText(kSection, Key("NetAddress"), networkAddress);
        portName = (mode == kTcpMode ? "TCP:" : "UDP:") + networkAddress;
        dataRate = 0;
        parity = 0;
        used = sRecentPort{portName, "", ""};
    } else if (mode == kCanMode && allowCan) {
        dataRate = canRates.Selected() != nullptr ? canRates.Selected()->value : kFallbackCanRate;
        portName = canInterfaces.Selected() != nullptr ? canInterfaces.Selected()->text : kFallbackCanPort;
        parity = 0;
        used = sRecentPort{portName, CanRateText(dataRate), ""};
        store.WriteText(kSection, Key("CANPort"), portName);
        store.WriteText(kSection, Key("CANDataRate"), used.rate);
    } else {
        portName = serialPorts.Selected() != nullptr ? serialPorts.Selected()->text : "";
        const sChoice* rate = baudRates.Selected();
        dataRate = rate != nullptr ? rate->value : kFallbackBaudRate;
        const sChoice* parityChoice = parities.Selected();
        parity = static_cast<std::uint8_t>(parityChoice != nullptr ? parityChoice->value : 0);
        used =
            sRecentPort{portName, rate != nullptr ? rate->text : std::to_string(kFallbackBaudRate), kParities[parity]};
        store.WriteText(kSection, Key("Port"), portName);
        store.WriteText(kSection, Key("DataRate"), used.rate);
        store.WriteText(kSection, Key("Parity"), used.parity);
    }

    if (offerFakeCmr)
        store.WriteInt(kSection, Key("FakeGPS"), fakeCmr ? 1 : 0);
    else
        fakeCmr = false;
    if (offerFakeAts)
        store.WriteInt(kSection, Key("FakeATS"), fakeAts ? 1 : 0);
    else
        fakeAts = false;

    // An empty port text marks an empty slot; it is not a connection.
    if (!used.IsEmpty())
        recentPorts.Use(used);
    opened = true;
}

bool CPortSettings::OpenRecent(int slot)
{
    if (!loaded)
        Load();
    if (!RecentButton(slot).visible)
        return false;
    const sRecentPort entry = recentPorts.Slot(slot);
    switch (KindOfPortText(entry.port)) {
    case RecentPortKind::udp:
    case RecentPortKind::tcp:
        networkAddress = entry.port.substr(4);
        SelectMode(KindOfPortText(entry.port) == RecentPortKind::udp ? kUdpSpMode : kTcpMode);
        break;
    case RecentPortKind::can:
        canRates.SelectByPrefix(entry.rate);
        canInterfaces.SelectByPrefix(entry.port);
        SelectMode(kCanMode);
        break;
    case RecentPortKind::serial:
        SelectSerialPort(entry.port);
        baudRates.SelectByPrefix(entry.rate);
        parities.SelectByPrefix(entry.parity);
        SelectMode(kSerialPortMode);
        break;
    case RecentPortKind::empty: return false;
    }
    Open();
    return true;
}

TolvarRT::PortRequest CPortSettings::MakePortRequest(unsigned identityTries) const
{
    TolvarRT::PortRequest request;
    request.name = portName;
    request.baudRate = dataRate;
    request.parity = parity;
    request.identityTries = identityTries;
    request.flowControl = 0;
    return request;
}
