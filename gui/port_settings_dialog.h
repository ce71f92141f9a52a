// The connection dialog of the Listener, the GPS Source and the NMEA source:
// the controls of one CPortSettings, which holds every rule of the dialog.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "app/port_settings.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace gui {

// The serial devices present, as the port layer opens them (device paths),
// for IDocumentUi::SerialDevices.
std::vector<std::string> SerialDevicesPresent();

// The help shown at the bottom of the dialog for a help text id; empty for
// an id without a text.
QString PortSettingsHelpText(unsigned helpTextId);

// Shown modally by ShowPortSettingsDialog, or shown and driven like any
// widget by tests. "&Open" and a recent button store the choice through the
// model and accept the dialog; "Ca&ncel" stores nothing.
//
// Thread rules: user-interface thread only.
class CPortSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Loads the model: its lists, stored values and recent connections.
    explicit CPortSettingsDialog(CPortSettings& settings, QWidget* parent = nullptr);

    QComboBox* ModeList() const { return modeList; }
    QComboBox* SerialPortList() const { return serialPorts; }
    QComboBox* DataRateList() const { return baudRates; }
    QComboBox* ParityList() const { return parities; }
    QLineEdit* NetworkAddress() const { return networkAddress; }
    QComboBox* CanInterfaceList() const { return canInterfaces; }
    QComboBox* CanRateList() const { return canRates; }
    QLineEdit* NtripHost() const { return ntripHost; }
    QLineEdit* NtripPort() const { return ntripPort; }
    QLineEdit* NtripMountpoint() const { return ntripMountpoint; }
    QLineEdit* NtripUser() const { return ntripUser; }
    QLineEdit* NtripPassword() const { return ntripPassword; }
    QLineEdit* ServerPort() const { return serverPort; }
    QLineEdit* FilePath() const { return filePath; }
    QCheckBox* FakeCmrBox() const { return fakeCmr; }
    QCheckBox* FakeAtsBox() const { return fakeAts; }
    QCheckBox* FakeRtcm3Box() const { return fakeRtcm3; }
    QCheckBox* ProbeBox() const { return probe; }
    // RUP1 to RUP6: slots 0 to 5.
    QPushButton* RecentButton(int slot) const;
    QPushButton* OpenButton() const { return openButton; }
    QPushButton* CancelButton() const { return cancelButton; }
    QPlainTextEdit* HelpBox() const { return helpBox; }

private:
    void FillFromModel();
    void ShowModeControls();
    // The user's choices into the model, before it opens.
    void WriteBack();
    void OnModeChosen(int index);
    void OnOpen();
    void OnRecent(int slot);

    CPortSettings& settings;
    QFormLayout* form = nullptr;
    QComboBox* modeList = nullptr;
    QComboBox* serialPorts = nullptr;
    QComboBox* baudRates = nullptr;
    QComboBox* parities = nullptr;
    QLineEdit* networkAddress = nullptr;
    QComboBox* canInterfaces = nullptr;
    QComboBox* canRates = nullptr;
    QLineEdit* ntripHost = nullptr;
    QLineEdit* ntripPort = nullptr;
    QLineEdit* ntripMountpoint = nullptr;
    QLineEdit* ntripUser = nullptr;
    QLineEdit* ntripPassword = nullptr;
    QLineEdit* serverPort = nullptr;
    QLineEdit* filePath = nullptr;
    QCheckBox* fakeCmr = nullptr;
    QCheckBox* fakeAts = nullptr;
    QCheckBox* fakeRtcm3 = nullptr;
    QCheckBox* probe = nullptr;
    std::array<QPushButton*, CPortSettings::kRecentButtons> recentButtons{};
    QPushButton* openButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QPlainTextEdit* helpBox = nullptr;
};

// Shows the dialog modally; true when it was closed with "&Open" or a recent
// button (the model then holds the results).
bool ShowPortSettingsDialog(CPortSettings& settings, QWidget* parent);

}  // namespace gui
