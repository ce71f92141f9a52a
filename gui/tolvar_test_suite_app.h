// The application: its settings, the common source of NMEA positions, the
// main window with its one test window, and the About box.
#pragma once

#include <memory>

#include "gui/qt_document_ui.h"

class CCommonNmeaSource;
class ISettingsStore;
class QWidget;

namespace gui {

class CMainFrame;

// Thread rules: the user-interface thread only.
class CTolvarTestSuiteApp {
public:
    // settings: the store every window reads and writes (the QSettings
    // store in the program, a scratch store in tests).
    explicit CTolvarTestSuiteApp(ISettingsStore& settings);
    ~CTolvarTestSuiteApp();
    CTolvarTestSuiteApp(const CTolvarTestSuiteApp&) = delete;
    CTolvarTestSuiteApp& operator=(const CTolvarTestSuiteApp&) = delete;

    // Creates the main window with one test window and shows it; false when
    // that fails.
    bool Start();

    CMainFrame& MainFrame() { return *mainFrame; }
    CCommonNmeaSource& CommonNmea() { return *commonNmea; }
    ISettingsStore& Settings() { return settings; }
    // The port settings dialog every document and the common source show.
    CQtDocumentUi::PortDialog PortDialog() const;
    // Answers for the application's own dialogs (the common NMEA port).
    CQtDocumentUi& Ui() { return ui; }
    void ShowAbout(QWidget* parent);

private:
    ISettingsStore& settings;
    CQtDocumentUi ui;
    std::unique_ptr<CCommonNmeaSource> commonNmea;
    std::unique_ptr<CMainFrame> mainFrame;
};

}  // namespace gui
