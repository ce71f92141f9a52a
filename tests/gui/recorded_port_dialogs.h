// No port dialog may open in a widget test: each one, the application's
// and the active test's, is cancelled and its caption recorded.
#pragma once

#include <string>
#include <vector>

#include "app/port_settings.h"
#include "gui/main_frame.h"
#include "gui/qt_document_ui.h"
#include "gui/tolvar_test_suite_app.h"

inline void RecordPortDialogs(gui::CTolvarTestSuiteApp& application, std::vector<std::string>& captions)
{
    const auto record = [&captions](CPortSettings& dialog, QWidget*) {
        captions.push_back(dialog.SettingsPrefix());
        return false;
    };
    application.MainFrame().ActiveDocumentUi()->SetPortDialog(record);
    application.Ui().SetPortDialog(record);
}
