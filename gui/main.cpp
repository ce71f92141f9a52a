// The desktop program's start-up: the application with its main window and
// one test window; "--demo" connects that test to the built-in emulated
// link, "--screenshot FILE --after SECONDS" saves a picture of the main window
// (or, with "--window position", "--window content" or "--window
// port-dialog", of the position window, the Stream Content window or the GPS
// Source's port dialog) and ends the program.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/command_table.h"
#include "gui/demo_link.h"
#include "gui/main_frame.h"
#include "gui/port_settings_dialog.h"
#include "gui/position_view.h"
#include "gui/qt_settings_store.h"
#include "gui/qt_text.h"
#include "gui/tolvar_test_suite_app.h"

namespace {

// The texts a picture of window shows, one a line, so that a script can tell
// a picture with readable content from one of empty frames.
QStringList ShownTexts(QWidget* window)
{
    QStringList texts{window->windowTitle()};
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window); frame != nullptr)
        window = frame->widget();
    // The position view may sit below its window's toolbar.
    auto* position = qobject_cast<gui::CPositionView*>(window);
    if (position == nullptr)
        position = window->findChild<gui::CPositionView*>();
    if (position != nullptr)
        texts << position->ShownTitle().text << position->StatusText();
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->isVisible())
            continue;
        if (auto* label = qobject_cast<QLabel*>(child))
            texts << label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(child))
            texts << button->text();
        else if (auto* list = qobject_cast<QComboBox*>(child))
            texts << list->currentText();
        else if (auto* edit = qobject_cast<QLineEdit*>(child))
            texts << edit->text();
    }
    texts.removeAll(QString());
    return texts;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(gui::CQtSettingsStore::kOrganisation);
    QApplication::setApplicationName(gui::CQtSettingsStore::kApplication);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tests radio links that carry GNSS correction data."));
    parser.addHelpOption();
    const QCommandLineOption demo(
        QStringLiteral("demo"), QStringLiteral("Connect the test to the built-in emulated radio link with fake CMRs."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the main window to FILE (PNG) and exit."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption after(QStringLiteral("after"),
                                   QStringLiteral("Seconds to wait before the screenshot (default 12)."),
                                   QStringLiteral("SECONDS"), QStringLiteral("12"));
    const QCommandLineOption window(
        QStringLiteral("window"),
        QStringLiteral("What the screenshot shows: main (default), position, content or port-dialog."),
        QStringLiteral("WINDOW"), QStringLiteral("main"));
    parser.addOptions({demo, screenshot, after, window});
    parser.process(application);
    const QString shown = parser.value(window);
    if (shown != QStringLiteral("main") && shown != QStringLiteral("position") && shown != QStringLiteral("content") &&
        shown != QStringLiteral("port-dialog")) {
        std::fprintf(stderr, "tolvar-gui: --window takes main, position, content or port-dialog\n");
        return 2;
    }

    bool secondsOk = false;
    const double seconds = parser.value(after).toDouble(&secondsOk);
    if (!secondsOk || seconds < 0) {
        std::fprintf(stderr, "tolvar-gui: --after takes a number of seconds\n");
        return 2;
    }

    // Declared first, so that it goes last: the test's ports close before
    // the link they are connected to.
    std::unique_ptr<gui::CDemoLink> demoLink;
    // A demonstration's settings stay out of the user's own.
    std::unique_ptr<ISettingsStore> settings;
    if (parser.isSet(demo))
        settings = std::make_unique<CMemorySettingsStore>();
    else
        settings = std::make_unique<gui::CQtSettingsStore>();

    gui::CTolvarTestSuiteApp tolvar(*settings);
    if (!tolvar.Start())
        return 1;

    if (parser.isSet(demo)) {
        demoLink = std::make_unique<gui::CDemoLink>();
        std::string error;
        if (!demoLink->Connect(tolvar.MainFrame(), error)) {
            std::fprintf(stderr, "tolvar-gui: the demonstration link failed: %s\n", error.c_str());
            QMessageBox::warning(&tolvar.MainFrame(), QStringLiteral("TolvarTestSuite"),
                                 QStringLiteral("The demonstration link failed: ") + gui::ToQt(error));
        }
    }

    // What the picture shows, opened as a user opens it.
    QWidget* pictured = &tolvar.MainFrame();
    std::unique_ptr<CPortSettings> portChoice;
    std::unique_ptr<gui::CPortSettingsDialog> portDialog;
    if (shown == QStringLiteral("position")) {
        tolvar.MainFrame().Run(gui::ShellCommand::kPositionWindow);
        pictured = tolvar.MainFrame().PositionWindow();
    } else if (shown == QStringLiteral("content")) {
        tolvar.MainFrame().Run(gui::ShellCommand::kContentWindow);
        pictured = tolvar.MainFrame().ContentWindow();
    } else if (shown == QStringLiteral("port-dialog")) {
        portChoice = std::make_unique<CPortSettings>(*settings, "GPS Source", true, false, gui::SerialDevicesPresent());
        portChoice->helpTextId = CTolvarTestSuiteDoc::kSourceHelpText;
        portChoice->offerFakeCmr = true;
        portChoice->offerFakeAts = true;
        portChoice->offerFakeRtcm3 = true;
        portChoice->Load();
        portDialog = std::make_unique<gui::CPortSettingsDialog>(*portChoice, &tolvar.MainFrame());
        portDialog->show();
        pictured = portDialog.get();
    }

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(int(seconds * 1000.0), &tolvar.MainFrame(), [&tolvar, file, pictured] {
            tolvar.MainFrame().UpdateCommands();
            const bool saved = pictured != nullptr && pictured->grab().save(file, "PNG");
            if (saved)
                std::printf("shown: %s\n", gui::FromQt(ShownTexts(pictured).join(QStringLiteral("\nshown: "))).c_str());
            if (!saved)
                std::fprintf(stderr, "tolvar-gui: cannot write %s\n", gui::FromQt(file).c_str());
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
