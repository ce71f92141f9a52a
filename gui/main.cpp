// The desktop program's start-up: the application with its main window and
// one test window; "--demo" connects that test to the built-in emulated
// link, "--screenshot FILE --after SECONDS" saves a picture of the main window
// and ends the program.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/memory_settings_store.h"
#include "gui/demo_link.h"
#include "gui/main_frame.h"
#include "gui/qt_settings_store.h"
#include "gui/qt_text.h"
#include "gui/tolvar_test_suite_app.h"

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
    parser.addOptions({demo, screenshot, after});
    parser.process(application);

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

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        QTimer::singleShot(int(seconds * 1000.0), &tolvar.MainFrame(), [&tolvar, file] {
            tolvar.MainFrame().UpdateCommands();
            const bool saved = tolvar.MainFrame().grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "tolvar-gui: cannot write %s\n", gui::FromQt(file).c_str());
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
