#include "gui/tolvar_test_suite_app.h"

#include "app/common_nmea_source.h"
#include "gui/about_dlg.h"
#include "gui/gui_resources.h"
#include "gui/main_frame.h"
#include "gui/port_settings_dialog.h"

namespace gui {

CTolvarTestSuiteApp::CTolvarTestSuiteApp(ISettingsStore& store)
    : settings(store), commonNmea(std::make_unique<CCommonNmeaSource>(settings, ui))
{
    LoadGuiResources();
    ui.SetPortDialog(PortDialog());
}

CTolvarTestSuiteApp::~CTolvarTestSuiteApp()
{
    // The windows go first: a position window listens to the common source.
    mainFrame.reset();
    commonNmea.reset();
}

bool CTolvarTestSuiteApp::Start()
{
    mainFrame = std::make_unique<CMainFrame>(*this, settings);
    ui.SetDialogParent(mainFrame.get());
    mainFrame->OpenTestWindow();
    mainFrame->show();
    return true;
}

CQtDocumentUi::PortDialog CTolvarTestSuiteApp::PortDialog() const
{
    return ShowPortSettingsDialog;
}

void CTolvarTestSuiteApp::ShowAbout(QWidget* parent)
{
    CAboutDlg about(parent);
    about.exec();
}

}  // namespace gui
