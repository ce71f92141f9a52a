// The test document's user interface on the command line: the ports come from
// the flags, questions are answered No, and what a window would show is not
// shown: the command prints the figures itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/document_ui.h"
#include "app/port_settings.h"
#include "ports/network/socket.h"
#include "ports/serial/serial_device_name.h"

namespace cli {

struct sPortChoice {
    std::string port;  // a serial device, "TCP:host:port", "UDP:host:port", "TCPSVR:[addr:]port", "FILE:path",
                       // "NTRIP:..." or a stream path
    unsigned baudRate = 38400;
    unsigned parity = 0;  // 0 none, 1 odd, 2 even
    bool fakeCmr = false;
    bool fakeAts = false;
    bool fakeRtcm3 = false;
    bool probe = true;  // where the port has a device to probe (not NTRIP, not a file)

    // Frames made by one of the fake generators go out of the port.
    bool Generated() const { return fakeCmr || fakeAts || fakeRtcm3; }
};

class CCommandLineUi : public IDocumentUi {
public:
    sPortChoice listener;
    sPortChoice source;
    std::optional<std::string> logFile;  // the name the log file dialog answers

    bool ShowPortSettings(CPortSettings& dialog) override
    {
        const sPortChoice& choice = dialog.SettingsPrefix() == "GPS Source" ? source : listener;
        if (choice.port.empty() && !choice.Generated())
            return false;
        // Every port text and stream path has its mode; serial takes the rest.
        if (!dialog.SelectPortName(choice.port)) {
            dialog.SelectMode(kSerialPortMode);
            dialog.SelectSerialPort(choice.port);
        }
        if (dialog.Mode() == kSerialPortMode) {
            dialog.baudRates.SelectByValue(choice.baudRate);
            dialog.parities.SelectByValue(choice.parity);
        }
        dialog.fakeCmr = choice.fakeCmr;
        dialog.fakeAts = choice.fakeAts;
        dialog.fakeRtcm3 = choice.fakeRtcm3;
        dialog.probe = choice.probe;
        dialog.Open();
        return true;
    }
    std::vector<std::string> SerialDevices() override { return TolvarRT::ListSerialDevices(); }
    bool AskYesNo(const std::string&) override { return false; }
    // The command prints its own line, with the system's reason, when a port
    // cannot be opened; the other messages answer menu commands it never runs.
    void ShowInformation(const std::string&) override {}
    std::optional<std::string> AskSaveFileName(const std::string&, const char*, const char*) override
    {
        return logFile;
    }
    void StartTimer(unsigned, unsigned) override {}
    void StopTimer(unsigned) override {}
    void ResetStatisticsViews() override {}
    void SetStatusPane(const std::string&) override {}
    void SetMainCaption(const std::string&) override {}
    void SetDocumentTitle(const std::string&) override {}
};

}  // namespace cli
