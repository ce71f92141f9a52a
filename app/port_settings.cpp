// The behaviour of the port settings dialog: stored defaults, the modes, Open
// and the recent connections.
#include "app/port_settings.h"

#include <algorithm>
#include <array>
#include <map>

#include "core/ascii_case.h"
#include "ports/network/ntrip_request.h"
#include "ports/port_factory.h"
#include "ports/stream_path.h"

namespace {

constexpr const char* kSection = "Settings";

constexpr std::array<std::uint32_t, 9> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
constexpr std::array<const char*, 3> kParities = {"None", "Odd", "Even"};
constexpr std::array<std::uint32_t, 3> kCanRates = {250000, 500000, 1000000};

struct sModeName {
    int mode;
    const char* text;
    const char* portPrefix;  // how the mode's port texts begin: enough to tell the port's kind
};
constexpr std::array<sModeName, 7> kModeNames = {{
    {kSerialPortMode, "Serial Port", ""},
    {kTcpMode, "TCP", "TCP:"},
    {kCanMode, "CAN", "CAN0"},
    {kUdpSpMode, "UDP SP", "UDP:"},
    {kNtripMode, "NTRIP", "NTRIP:"},
    {kTcpServerMode, "TCP Server", "TCPSVR:"},
    {kFileMode, "File", "FILE:"},
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

// NTRIP passwords typed this run, by the connection's name without them.
// Never written to the settings store.
std::map<std::string, std::string>& SessionPasswords()
{
    static std::map<std::string, std::string> passwords;
    return passwords;
}

// "NTRIP:user@host:port/mount": what the recent list and the session
// passwords know a connection by.
std::string NtripNameWithoutPassword(const TolvarRT::sNtripAddress& address)
{
    std::string name = "NTRIP:";
    if (!address.user.empty())
        name += address.user + "@";
    return name + address.caster.host + ":" + std::to_string(address.caster.port) + "/" + address.mountpoint;
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
    case kUdpSpMode:
    case kNtripMode:
    case kTcpServerMode:
    case kFileMode: return allowNetwork;
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
    ntripHost = store.ReadText(kSection, Key("NtripHost"), "");
    ntripPort = store.ReadText(kSection, Key("NtripPort"), "2101");
    ntripMountpoint = store.ReadText(kSection, Key("NtripMountpoint"), "");
    ntripUser = store.ReadText(kSection, Key("NtripUser"), "");
    ntripPassword = SessionPassword();
    serverPort = store.ReadText(kSection, Key("ServerPort"), "");
    filePath = store.ReadText(kSection, Key("ReplayFile"), "");
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
    // Unticked until chosen, like ATS; chosen, it is the only generator.
    fakeRtcm3 = offerFakeRtcm3 && store.ReadInt(kSection, Key("FakeRTCM3"), 0) != 0;
    if (fakeRtcm3)
        fakeCmr = fakeAts = false;
    probe = store.ReadInt(kSection, Key("Probe"), 1) != 0;
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
    // The address field is where a user of other tools types a stream path
    // ("ntrip://...", "serial://..."): it opens in the mode it names.
    TolvarRT::sStreamPath typed;
    std::string failure;
    if (ShowsNetworkAddress() && TolvarRT::ParseStreamPath(networkAddress, typed, failure)) {
        const std::string path = networkAddress;
        SelectPortName(path);
    }
    store.WriteInt(kSection, Key("Mode"), mode);

    sRecentPort used;
    if ((mode == kTcpMode || mode == kUdpSpMode) && allowNetwork) {
        store.WriteText(kSection, Key("NetAddress"), networkAddress);
        portName = (mode == kTcpMode ? "TCP:" : "UDP:") + networkAddress;
        dataRate = 0;
        parity = 0;
        used = sRecentPort{portName, "", ""};
    } else if (mode == kNtripMode && allowNetwork) {
        TolvarRT::sNtripAddress address;
        address.user = ntripUser;
        address.password = ntripPassword;
        address.caster.host = ntripHost;
        address.mountpoint = ntripMountpoint;
        portName = "NTRIP:";
        if (!ntripUser.empty() || !ntripPassword.empty())
            portName += ntripUser + (ntripPassword.empty() ? "" : ":" + ntripPassword) + "@";
        portName += ntripHost + (ntripPort.empty() ? "" : ":" + ntripPort) + "/" + ntripMountpoint;
        dataRate = 0;
        parity = 0;
        store.WriteText(kSection, Key("NtripHost"), ntripHost);
        store.WriteText(kSection, Key("NtripPort"), ntripPort);
        store.WriteText(kSection, Key("NtripMountpoint"), ntripMountpoint);
        store.WriteText(kSection, Key("NtripUser"), ntripUser);
        // The recent list is written to disk: the password stays out of it.
        // A name that cannot be read is not a connection to offer again.
        if (TolvarRT::ParseNtripPortName(portName, address)) {
            used = sRecentPort{NtripNameWithoutPassword(address), "", ""};
            SessionPasswords()[used.port] = ntripPassword;
        }
    } else if ((mode == kTcpServerMode || mode == kFileMode) && allowNetwork) {
        const bool server = mode == kTcpServerMode;
        store.WriteText(kSection, Key(server ? "ServerPort" : "ReplayFile"), server ? serverPort : filePath);
        // A bare port keeps the empty address of tcpsvr://:port; an address
        // typed with it is the port name's own.
        const bool withAddress = serverPort.find(':') != std::string::npos;
        portName = server ? (withAddress ? "TCPSVR:" : "TCPSVR::") + serverPort : "FILE:" + filePath;
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

    // One generator feeds the base radio: RTCM v3 chosen leaves no other.
    fakeRtcm3 = offerFakeRtcm3 && fakeRtcm3;
    if (fakeRtcm3)
        fakeCmr = fakeAts = false;
    if (offerFakeRtcm3)
        store.WriteInt(kSection, Key("FakeRTCM3"), fakeRtcm3 ? 1 : 0);
    if (offerFakeCmr)
        store.WriteInt(kSection, Key("FakeGPS"), fakeCmr ? 1 : 0);
    else
        fakeCmr = false;
    if (offerFakeAts)
        store.WriteInt(kSection, Key("FakeATS"), fakeAts ? 1 : 0);
    else
        fakeAts = false;
    // Kept for the modes that offer it: a caster chosen once does not untick
    // the box for the serial port chosen next.
    if (OffersProbe())
        store.WriteInt(kSection, Key("Probe"), probe ? 1 : 0);

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
    if (!SelectPortName(entry.port))
        return false;
    switch (KindOfPortText(entry.port)) {
    case RecentPortKind::can: canRates.SelectByPrefix(entry.rate); break;
    case RecentPortKind::serial:
        baudRates.SelectByPrefix(entry.rate);
        parities.SelectByPrefix(entry.parity);
        break;
    case RecentPortKind::ntrip:
        if (!ntripUser.empty() && ntripPassword.empty())
            return false;
        break;
    default: break;
    }
    Open();
    return true;
}

std::string CPortSettings::SessionPassword() const
{
    std::string name = "NTRIP:";
    if (!ntripUser.empty())
        name += ntripUser + "@";
    name += ntripHost + ":" + ntripPort + "/" + ntripMountpoint;
    const auto found = SessionPasswords().find(name);
    return found != SessionPasswords().end() ? found->second : std::string();
}

bool CPortSettings::SelectPortName(const std::string& portText)
{
    std::string text = portText;
    TolvarRT::sStreamPath path;
    std::string failure;
    // A serial path keeps its own spelling: the byte pipe reads its settings.
    if (TolvarRT::IsStreamPath(text) && TolvarRT::ParseStreamPath(text, path, failure) &&
        !TolvarRT::StartsWithIgnoringCase(text, "serial://"))
        text = path.portName;
    switch (KindOfPortText(text)) {
    case RecentPortKind::udp:
    case RecentPortKind::tcp:
        if (!SelectMode(KindOfPortText(text) == RecentPortKind::udp ? kUdpSpMode : kTcpMode))
            return false;
        networkAddress = text.substr(4);
        return true;
    case RecentPortKind::ntrip: {
        TolvarRT::sNtripAddress address;
        if (!TolvarRT::ParseNtripPortName(text, address) || !SelectMode(kNtripMode))
            return false;
        ntripHost = address.caster.host;
        ntripPort = std::to_string(address.caster.port);
        ntripMountpoint = address.mountpoint;
        ntripUser = address.user;
        ntripPassword = address.password.empty() ? SessionPassword() : address.password;
        return true;
    }
    case RecentPortKind::tcpServer:
        if (!SelectMode(kTcpServerMode))
            return false;
        serverPort = text.substr(text.find(':') + 1);
        if (!serverPort.empty() && serverPort.front() == ':')
            serverPort.erase(0, 1);
        return true;
    case RecentPortKind::file:
        if (!SelectMode(kFileMode))
            return false;
        filePath = text.substr(5);
        return true;
    case RecentPortKind::can:
        if (!SelectMode(kCanMode))
            return false;
        canInterfaces.SelectByPrefix(text);
        return true;
    case RecentPortKind::serial: SelectSerialPort(text); return SelectMode(kSerialPortMode);
    case RecentPortKind::empty: break;
    }
    return false;
}

bool CPortSettings::OffersProbe() const
{
    if (!offerProbe)
        return false;
    // A plain UDP port has no mode of its own: it is typed where a serial
    // device is, and judged by its name.
    if (mode == kSerialPortMode && serialPorts.Selected() != nullptr)
        return TolvarRT::IsProbeablePort(serialPorts.Selected()->text);
    for (const sModeName& name : kModeNames)
        if (name.mode == mode)
            return TolvarRT::IsProbeablePort(name.portPrefix);
    return true;
}

TolvarRT::PortRequest CPortSettings::MakePortRequest(unsigned identityTries) const
{
    TolvarRT::PortRequest request;
    request.name = portName;
    request.baudRate = dataRate;
    request.parity = parity;
    request.identityTries = Probes() ? identityTries : 0;
    request.flowControl = 0;
    return request;
}
