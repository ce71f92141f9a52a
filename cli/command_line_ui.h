// The test document's user interface on the command line: the ports come from
// the flags, questions are answered No, messages are kept for the command
// (which prints one line of its own when a port cannot be opened).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/document_ui.h"
#include "app/port_settings.h"
#include "ports/serial_device_name.h"
#include "ports/socket.h"

namespace cli {

struct sPortChoice {
    std::string port;           // a serial device, "TCP:host:port" or "UDP:host:port"
    unsigned baudRate = 38400;
    unsigned parity = 0;        // 0 none, 1 odd, 2 even
    bool fakeCmr = false;
    bool fakeAts = false;
};

class CCommandLineUi : public IDocumentUi {
public:
    sPortChoice listener;
    sPortChoice source;
    std::optional<std::string> logFile;  // the name the log file dialog answers
    std::vector<std::string> messages;
    std::string statusPane;

    bool ShowPortSettings(CPortSettings& dialog) override
    {
        const sPortChoice& choice = dialog.SettingsPrefix() == "GPS Source" ? source : listener;
        if (choice.port.empty() && !choice.fakeCmr && !choice.fakeAts)
            return false;
        if (TolvarRT::HasNetPrefix(choice.port, "TCP:") || TolvarRT::HasNetPrefix(choice.port, "UDP:")) {
            dialog.SelectMode(TolvarRT::HasNetPrefix(choice.port, "TCP:") ? kTcpMode : kUdpSpMode);
            dialog.networkAddress = choice.port.substr(4);
        } else {
            dialog.SelectMode(kSerialPortMode);
            dialog.SelectSerialPort(choice.port);
            dialog.baudRates.SelectByValue(choice.baudRate);
            dialog.parities.SelectByValue(choice.parity);
        }
        dialog.fakeCmr = choice.fakeCmr;
        dialog.fakeAts = choice.fakeAts;
        dialog.Open();
        return true;
    }
    std::vector<std::string> SerialDevices() override { return TolvarRT::ListSerialDevices(); }
    bool AskYesNo(const std::string&) override { return false; }
    void ShowInformation(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> AskSaveFileName(const std::string&, const char*, const char*) override
    {
        return logFile;
    }
    void StartTimer(unsigned, unsigned) override {}
    void StopTimer(unsigned) override {}
    void ResetStatisticsViews() override {}
    void SetStatusPane(const std::string& text) override { statusPane = text; }
    void SetMainCaption(const std::string&) override {}
    void SetDocumentTitle(const std::string&) override {}
};

}  // namespace cli
