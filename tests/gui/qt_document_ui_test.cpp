// The Qt answers to what a document asks: the child frame's timers by id,
// port choices answered beforehand, waiting steps that leave the event loop
// running, the file dialog's filter.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/command_table.h"
#include "gui/qt_document_ui.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace {

using TolvarRT::testing::WaitUntil;

TEST(QtDocumentUiTest, TimersRunByIdUntilStoppedAndRestartWithANewPeriod)
{
    gui::CQtDocumentUi ui;
    std::vector<unsigned> fired;
    ui.onTimer = [&](unsigned id) { fired.push_back(id); };
    ui.StopTimer(7);  // never started: nothing to stop
    ui.StartTimer(7, 10000);
    ui.StartTimer(78, 5);
    EXPECT_TRUE(ui.IsTimerActive(7));
    EXPECT_EQ(ui.TimerInterval(7), 10000);
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return fired.size() >= 2;
    }));
    EXPECT_EQ(fired[0], 78u);
    EXPECT_EQ(fired[1], 78u);

    ui.StopTimer(78);
    EXPECT_FALSE(ui.IsTimerActive(78));
    EXPECT_TRUE(ui.IsTimerActive(7));
    ui.StartTimer(7, 20);
    EXPECT_EQ(ui.TimerInterval(7), 20) << "a restart takes the new period";
    ui.StopTimer(7);
    EXPECT_FALSE(ui.IsTimerActive(7));
}

TEST(QtDocumentUiTest, APresetChoiceAnswersTheNextDialogOfItsCaptionOnce)
{
    CMemorySettingsStore settings;
    gui::CQtDocumentUi ui;
    std::vector<std::string> shown;
    ui.SetPortDialog([&](CPortSettings& dialog, QWidget*) {
        shown.push_back(dialog.SettingsPrefix());
        return false;
    });
    ui.PresetPortChoice("GPS Source", [](CPortSettings& dialog) {
        dialog.SelectMode(kTcpMode);
        dialog.networkAddress = "127.0.0.1:5017";
        dialog.fakeCmr = true;
    });

    CPortSettings listener(settings, "Listener", true, false);
    listener.Load();
    EXPECT_FALSE(ui.ShowPortSettings(listener)) << "another caption: the dialog, cancelled";
    CPortSettings source(settings, "GPS Source", true, false);
    source.offerFakeCmr = true;
    source.Load();
    ASSERT_TRUE(ui.ShowPortSettings(source));
    EXPECT_TRUE(source.IsOpened());
    EXPECT_EQ(source.PortName(), "TCP:127.0.0.1:5017");
    EXPECT_TRUE(source.fakeCmr);
    CPortSettings again(settings, "GPS Source", true, false);
    again.Load();
    EXPECT_FALSE(ui.ShowPortSettings(again)) << "used up";
    EXPECT_EQ(shown, (std::vector<std::string>{"Listener", "GPS Source"}));
}

TEST(QtDocumentUiTest, ReportsGoToTheirHooksAndAreDroppedWithoutOne)
{
    gui::CQtDocumentUi ui;
    ui.SetStatusPane("dropped");
    std::string pane, caption, title;
    ui.onStatusPane = [&](const std::string& text) { pane = text; };
    ui.onMainCaption = [&](const std::string& text) { caption = text; };
    ui.onDocumentTitle = [&](const std::string& text) { title = text; };
    ui.SetStatusPane("PAUSED");
    ui.SetMainCaption("Connected to /dev/ttyUSB0");
    ui.SetDocumentTitle("Listener : Not Connected | Source : Not Connected");
    EXPECT_EQ(pane, "PAUSED");
    EXPECT_EQ(caption, "Connected to /dev/ttyUSB0");
    EXPECT_EQ(title, "Listener : Not Connected | Source : Not Connected");
}

TEST(QtDocumentUiTest, AWaitingStepRunsOffTheEventLoopWhichGoesOnUntilItIsOver)
{
    gui::CQtDocumentUi ui;
    std::vector<std::string> told;
    ui.onWaitingStep = [&](const std::string& what) { told.push_back(what); };
    // The step waits for something only this thread's timer does: were the
    // loop stopped for the step, the step would run into its deadline.
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(20, [&] { timerFired = true; });
    bool waitingInside = false;
    Qt::CursorShape cursorInside = Qt::ArrowCursor;
    QTimer::singleShot(10, [&] {
        waitingInside = ui.IsWaiting();
        if (const QCursor* cursor = QGuiApplication::overrideCursor())
            cursorInside = cursor->shape();
    });
    bool sawTimer = false;
    std::thread::id stepThread;
    ui.RunWaitingStep("Waiting for the identity of /dev/ttyUSB0", [&] {
        stepThread = std::this_thread::get_id();
        sawTimer = WaitUntil([&] { return timerFired.load(); }, std::chrono::seconds(10));
    });
    EXPECT_TRUE(sawTimer) << "the event loop stood still during the step";
    EXPECT_NE(stepThread, std::this_thread::get_id());
    EXPECT_TRUE(waitingInside);
    EXPECT_EQ(cursorInside, Qt::WaitCursor);
    EXPECT_FALSE(ui.IsWaiting());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(told, (std::vector<std::string>{"Waiting for the identity of /dev/ttyUSB0", ""}));

    // Once the windows go, a step runs where it is asked, without events.
    ui.RunStepsInPlace();
    ui.RunWaitingStep("Resetting the receiver's port", [&] { stepThread = std::this_thread::get_id(); });
    EXPECT_EQ(stepThread, std::this_thread::get_id());
    EXPECT_EQ(told.size(), 2u);
}

TEST(QtDocumentUiTest, TheLogFileFilterTakesQtsForm)
{
    EXPECT_EQ(gui::QtFileFilter("Text Files(*.txt)|*.txt|All Files (*.*)|*.*||"),
              QStringLiteral("Text Files(*.txt);;All Files (*.*)"));
    EXPECT_EQ(gui::QtFileFilter(""), QString());
}

}  // namespace

namespace {

// A log file named in Cyrillic and Chinese, chosen in the desktop's dialog:
// the file the system makes has those letters, not question marks.
TEST(QtDocumentUiTest, ALogFileNamedInCyrillicAndChineseIsCreatedUnderThatName)
{
    TolvarRT::testing::TempFolder folder;
    const QString name = QString::fromStdString(folder.Path().string()) +
                         QStringLiteral("/\u0416\u0443\u0440\u043d\u0430\u043b \u65e5\u5fd7.txt");
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(name);
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
    CMemorySettingsStore settings;
    gui::CQtDocumentUi ui;
    CTolvarTestSuiteDoc document(settings, ui);
    document.Run(DocumentCommand::kCreateLogFile);
    ASSERT_TRUE(document.FileLog().IsOpen());
    EXPECT_TRUE(QFileInfo::exists(name)) << name.toStdString();
    document.Run(DocumentCommand::kCloseLogFile);
}

}  // namespace
