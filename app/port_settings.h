// The port settings of one connection (Listener, GPS Source or NMEA): what
// the port settings dialog shows and does, without drawing anything. A front
// end fills its controls from this model, writes the user's changes back and
// calls Open or OpenRecent; the caller then opens the port it describes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/choice_list.h"
#include "app/recent_ports.h"
#include "app/settings_store.h"
#include "ports/byte_pipe.h"

// Connection modes, by their index in the mode list.
enum PortMode : int {
    kSerialPortMode = 0,
    kTcpMode = 1,
    kCanMode = 2,
    kUdpSpMode = 3,
    kUdpRawMode = 4,  // known to the ports, never offered here
    kNtripMode = 5,   // corrections from an NTRIP caster
    kTcpServerMode = 6,
    kFileMode = 7,  // a recorded stream replayed
};

// The texts a front end shows, so every front end shows the same.
namespace PortSettingsLabels {
inline constexpr const char* kDialogTitle = "Port Settings";  // until Load gives WindowTitle
inline constexpr const char* kRecentGroup = "Recently used Settings";
inline constexpr const char* kSettingsGroup = "Settings";
inline constexpr const char* kMode = "Mode:";
inline constexpr const char* kSerialPort = "Serial Port:";
inline constexpr const char* kDataRate = "&Data Rate:";
inline constexpr const char* kParity = "&Parity:";
inline constexpr const char* kNetworkAddress = "Network Address:";
inline constexpr const char* kCanInterface = "&CAN Interface:";
inline constexpr const char* kCanDataRate = "&Data Rate:";
inline constexpr const char* kNtripHost = "Caster:";
inline constexpr const char* kNtripPort = "Caster Port:";
inline constexpr const char* kNtripMountpoint = "Mountpoint:";
inline constexpr const char* kNtripUser = "User:";
inline constexpr const char* kNtripPassword = "Password:";
inline constexpr const char* kServerPort = "Listen on Port:";
inline constexpr const char* kFile = "File:";
inline constexpr const char* kFakeCmr = "Generate Fake CMRs";
inline constexpr const char* kFakeAts = "Generate ATS Data";
inline constexpr const char* kFakeRtcm3 = "Generate Fake RTCM v3";
inline constexpr const char* kProbe = "Probe the device (identity, radio mode)";
inline constexpr const char* kOpen = "&Open";
inline constexpr const char* kCancel = "Ca&ncel";
}  // namespace PortSettingsLabels

struct sRecentButton {
    bool visible = false;
    std::string caption;
};

// Created for one choice and dropped afterwards; everything that outlives it
// is in the settings store, section "Settings", keys settingsPrefix + name.
//
// Thread rules: one thread (the user-interface thread); the store is shared.
class CPortSettings {
public:
    static constexpr int kRecentButtons = CRecentPorts::kSlots;

    // serialDevices: the serial devices present, as the front end lists them
    // (ListSerialDevices); canInterfaceCount: CountCanInterfaces().
    CPortSettings(ISettingsStore& store, std::string settingsPrefix, bool allowNetwork, bool allowCan,
                  std::vector<std::string> serialDevices = {}, unsigned canInterfaceCount = 0);

    // Set before Load.
    bool offerFakeCmr = false;
    bool offerFakeAts = false;
    bool offerFakeRtcm3 = false;
    // The probe box, where the mode has a device to probe; a connection that
    // never probes (an NMEA receiver's port) does not offer it.
    bool offerProbe = true;
    unsigned helpTextId = 0;

    // Fills the lists and puts the stored values and the recent connections
    // in place, as the dialog does when it opens.
    void Load();

    const std::string& SettingsPrefix() const { return settingsPrefix; }
    // settingsPrefix + " Port Properties".
    std::string WindowTitle() const;
    // Without a help text the dialog ends where the help box would begin.
    bool ShowsHelpText() const { return helpTextId != 0; }

    // The offered modes, sorted by text; each entry's value is its mode.
    const CChoiceList& ModeList() const { return modeList; }
    // Disabled when serial is the only mode.
    bool ModeListEnabled() const { return modeList.Entries().size() > 1; }
    int Mode() const { return mode; }
    // False (mode unchanged) when the mode is not offered.
    bool SelectMode(int newMode);

    // The controls each mode shows.
    bool ShowsSerialControls() const { return mode == kSerialPortMode; }
    bool ShowsNetworkAddress() const { return mode == kTcpMode || mode == kUdpSpMode || mode == kUdpRawMode; }
    bool ShowsCanControls() const { return mode == kCanMode; }
    bool ShowsNtripControls() const { return mode == kNtripMode; }
    bool ShowsServerPort() const { return mode == kTcpServerMode; }
    bool ShowsFile() const { return mode == kFileMode; }

    // The controls; a front end selects in the lists and edits the texts.
    CChoiceList serialPorts;
    CChoiceList baudRates;
    CChoiceList parities;
    CChoiceList canInterfaces;
    CChoiceList canRates;
    std::string networkAddress;
    std::string ntripHost;
    std::string ntripPort = "2101";
    std::string ntripMountpoint;
    std::string ntripUser;
    // Never stored: kept for the rest of the program's run only.
    std::string ntripPassword;
    std::string serverPort;
    std::string filePath;
    bool fakeCmr = false;  // "Generate Fake CMRs", meaningful when offered
    bool fakeAts = false;  // "Generate ATS Data", meaningful when offered
    // "Generate Fake RTCM v3", meaningful when offered. The generators are
    // one choice: Open keeps it alone when it is ticked with another.
    bool fakeRtcm3 = false;
    bool probe = true;  // "Probe the device", meaningful when offered

    // Offered for the serial, TCP, UDP, TCP server and CAN modes: an NTRIP
    // caster or a replayed file has no device to answer, so it is never
    // probed.
    bool OffersProbe() const;
    // Whether the port is to be probed: offered and ticked.
    bool Probes() const { return probe && OffersProbe(); }

    // Selects a serial port by its exact text (ignoring case), adding it in
    // front when it is not present, so a stored or recent port is opened as
    // stored even when the device is not plugged in now.
    void SelectSerialPort(const std::string& port);

    // Puts any port text or stream path ("NTRIP:...", "tcpcli://...", a
    // serial device) into the mode and controls that produce it; false, and
    // the mode unchanged, when that mode is not offered.
    bool SelectPortName(const std::string& portText);

    // Buttons RUP1 to RUP6 (slots 0 to 5).
    sRecentButton RecentButton(int slot) const;
    const CRecentPorts& RecentPorts() const { return recentPorts; }

    // "&Open": stores the choice, produces the port description and makes it
    // the newest recent connection. A stream path typed as the network
    // address opens in the mode it names.
    void Open();
    // A recent button: puts its connection into the controls and opens it at
    // once. False, and nothing done, for a hidden button; false with the
    // controls filled for an NTRIP connection whose password this run has
    // not seen, so the user can type it.
    bool OpenRecent(int slot);

    // Results, valid after Open.
    bool IsOpened() const { return opened; }
    // The port description: "TCP:"/"UDP:" + address, "NTRIP:" with the
    // credentials, "TCPSVR::" + port, "FILE:" + path, a CAN interface text or
    // a serial port text.
    const std::string& PortName() const { return portName; }
    // Serial: baud rate; CAN: bit rate; 0 for the network modes.
    std::uint32_t DataRate() const { return dataRate; }
    // 0 none, 1 odd, 2 even; serial only.
    std::uint8_t Parity() const { return parity; }
    // What the byte pipe's OpenPort takes for this choice; no flow control,
    // and no identity request unless the port is probed.
    TolvarRT::PortRequest MakePortRequest(unsigned identityTries) const;

private:
    std::string Key(const char* name) const { return settingsPrefix + name; }
    bool IsOffered(int candidate) const;
    // The password typed this run for the NTRIP connection in the controls.
    std::string SessionPassword() const;

    ISettingsStore& store;
    const std::string settingsPrefix;
    const bool allowNetwork;
    const bool allowCan;
    const std::vector<std::string> serialDevices;
    const unsigned canInterfaceCount;

    CChoiceList modeList;
    int mode = kSerialPortMode;
    CRecentPorts recentPorts;
    bool loaded = false;

    bool opened = false;
    std::string portName;
    std::uint32_t dataRate = 0;
    std::uint8_t parity = 0;
};
