// Commands a user reaches in the desktop program beyond the test window's
// own: the position window's toolbar and context menu, the test window's
// commands while the position window is active, and "NMEA Output Config".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Before Qt: the connection settings have a field named like a Qt keyword.
#include "app/common_nmea_source.h"
#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/nmea_output.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolBar>

#include "gui/child_frame.h"
#include "gui/command_table.h"
#include "gui/demo_link.h"
#include "gui/edit_log.h"
#include "gui/fixed_size_mdi_child_window.h"
#include "gui/main_frame.h"
#include "gui/nmea_output_dialog.h"
#include "gui/position_tool_bar.h"
#include "gui/position_view.h"
#include "gui/qt_document_ui.h"
#include "gui/sound_worker_thread.h"
#include "gui/tolvar_plot.h"
#include "gui/tolvar_test_suite_app.h"
#include "recorded_port_dialogs.h"
#include "temp_folder.h"

namespace {

namespace Doc = DocumentCommand;
namespace App = ApplicationCommand;
namespace Shell = gui::ShellCommand;

class SilentPlayer : public gui::ISoundPlayer {
public:
    void Play(int) override {}
    void Stop() override {}
};

class DesktopCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(application.Start());
        RecordPortDialogs(application, dialogs);
    }

    gui::CMainFrame& Main() { return application.MainFrame(); }
    gui::CChildFrame& TestWindow() { return *Main().CommandTestWindow(); }
    auto* PositionFrame() { return qobject_cast<gui::CFixedSizeMDIChildWindow*>(Main().PositionWindow()); }
    gui::CPositionView& PositionView() { return *qobject_cast<gui::CPositionView*>(PositionFrame()->View()); }
    void OpenPositionWindow()
    {
        Main().Action(Shell::kPositionWindow)->trigger();
        ASSERT_NE(PositionFrame(), nullptr);
        ASSERT_EQ(Main().Area().currentSubWindow(), PositionFrame()) << "the position window is the active one";
        PositionView().SetSoundThreadMaker(
            [] { return std::make_unique<gui::CSoundWorkerThread>(std::make_unique<SilentPlayer>()); });
        Main().UpdateCommands();
    }
    bool Enabled(unsigned id) { return Main().Action(id)->isEnabled(); }

    CMemorySettingsStore settings;
    // Declared before the application: the test's ports close first.
    gui::CDemoLink demo;
    gui::CTolvarTestSuiteApp application{settings};
    std::vector<std::string> dialogs;
    TolvarRT::testing::TempFolder folder;
};

TEST_F(DesktopCommandsTest, ThePositionWindowCarriesItsToolbarAndTheSameItemsOnItsContextMenu)
{
    OpenPositionWindow();
    QToolBar* bar = PositionFrame()->ToolBar();
    ASSERT_NE(bar, nullptr);
    gui::CPositionView& view = PositionView();
    const std::vector<QAction*> expected = {Main().Action(App::kConnectCommonNmea),
                                            Main().Action(App::kDisconnectCommonNmea),
                                            nullptr,
                                            view.OpenLogAction(),
                                            view.CloseLogAction(),
                                            view.SoundAction()};
    const QList<QAction*> buttons = bar->actions();
    const QList<QAction*> menu = view.actions();
    ASSERT_EQ(buttons.size(), qsizetype(expected.size()));
    ASSERT_EQ(menu.size(), qsizetype(expected.size()));
    EXPECT_EQ(view.contextMenuPolicy(), Qt::ActionsContextMenu);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const qsizetype at = qsizetype(i);
        if (expected[i] == nullptr) {
            EXPECT_TRUE(buttons[at]->isSeparator());
            EXPECT_TRUE(menu[at]->isSeparator());
            continue;
        }
        EXPECT_EQ(buttons[at], expected[i]) << i;
        EXPECT_EQ(menu[at], expected[i]) << i;
        EXPECT_FALSE(expected[i]->icon().isNull()) << i;
        EXPECT_FALSE(expected[i]->statusTip().isEmpty()) << i;
    }
    EXPECT_EQ(view.OpenLogAction()->statusTip(), QStringLiteral("Log Position and Performance Data to a file."));
    EXPECT_EQ(view.SoundAction()->statusTip(), QStringLiteral("Plays a sound after receiving a CMR"));

    // Above the view, which keeps its own minimum height below the bar.
    PositionFrame()->grab();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(bar->parentWidget(), view.parentWidget());
    EXPECT_LE(bar->geometry().bottom(), view.geometry().top());
    EXPECT_GT(bar->height(), 0);
    QSize viewMinimum;
    ASSERT_TRUE(view.FillMinTrackSize(viewMinimum));
    EXPECT_GE(PositionFrame()->minimumHeight(), viewMinimum.height() + bar->sizeHint().height());
}

TEST_F(DesktopCommandsTest, ThePositionToolbarFollowsTheLogTheSoundAndTheCommonSource)
{
    OpenPositionWindow();
    gui::CPositionView& view = PositionView();
    EXPECT_TRUE(Enabled(App::kConnectCommonNmea));
    EXPECT_FALSE(Enabled(App::kDisconnectCommonNmea));
    EXPECT_TRUE(view.OpenLogAction()->isEnabled());
    EXPECT_FALSE(view.CloseLogAction()->isEnabled());
    EXPECT_FALSE(view.SoundAction()->isChecked());

    const std::string path = (folder.Path() / "positions.txt").string();
    view.SetSaveFileAsker([&](const std::string&) { return std::optional<std::string>(path); });
    PositionFrame()->ToolBar()->actions()[3]->trigger();
    EXPECT_FALSE(view.OpenLogAction()->isEnabled());
    EXPECT_TRUE(view.CloseLogAction()->isEnabled());
    EXPECT_EQ(settings.ReadProfileText("Settings", "PositionLogPath", ""), path);
    view.CloseLogAction()->trigger();
    EXPECT_TRUE(view.OpenLogAction()->isEnabled());
    EXPECT_FALSE(view.CloseLogAction()->isEnabled());

    view.SoundAction()->trigger();
    EXPECT_TRUE(view.SoundAction()->isChecked());
    EXPECT_TRUE(view.Monitor().PlaySoundOnCmr());
    view.SoundAction()->trigger();
    EXPECT_FALSE(view.SoundAction()->isChecked());

    // The common source asks for its own port from the position window.
    PositionFrame()->ToolBar()->actions()[0]->trigger();
    EXPECT_EQ(dialogs, std::vector<std::string>{"NMEA"});
}

TEST_F(DesktopCommandsTest, WhileThePositionWindowIsActiveTheTestWindowsCommandsGoToTheTestWindow)
{
    OpenPositionWindow();
    EXPECT_EQ(Main().ActiveTestWindow(), nullptr);
    ASSERT_NE(Main().CommandTestWindow(), nullptr);
    for (unsigned id : {32777u, 32778u, 32779u, 32780u, unsigned(Shell::kPause), unsigned(Shell::kResetStatistics),
                        unsigned(Shell::kCopy)})
        EXPECT_TRUE(Main().IsEnabled(id)) << id;
    EXPECT_TRUE(Main().IsEnabled(Doc::kCreateLogFile)) << "the document's own";

    Main().Action(32777)->trigger();
    EXPECT_EQ(TestWindow().LogView().LogLevel(), 0u);
    EXPECT_TRUE(Main().Action(32777)->isChecked());
    Main().Action(Shell::kPause)->trigger();
    EXPECT_TRUE(TestWindow().LogView().IsPaused());
    EXPECT_TRUE(Main().Action(Shell::kPause)->isChecked());

    TestWindow().OnTimer(CTolvarTestSuiteDoc::kSummaryTimer);
    ASSERT_GE(TestWindow().ChartStrip().Chart().LastIndex(), 0);
    Main().Action(Shell::kResetStatistics)->trigger();
    EXPECT_EQ(TestWindow().ChartStrip().Chart().LastIndex(), -1) << "the test window's chart starts again";
    EXPECT_EQ(Main().Area().currentSubWindow(), PositionFrame()) << "and the position window stays active";
}

TEST_F(DesktopCommandsTest, TheScheduleButtonsDriveTheFakeGeneratorFromEitherWindow)
{
    const std::vector<unsigned> expected = {Doc::kPauseFakeCmrs, Doc::kFakeSchedule0,     Doc::kFakeSchedule0 + 1,
                                            Doc::kFakeSchedule6, Doc::kFakeSchedule0 + 2, Doc::kIncreaseSVs,
                                            Doc::kDecreaseSVs};
    const QList<QAction*> buttons = Main().ScheduleToolBar().actions();
    ASSERT_EQ(buttons.size(), qsizetype(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(buttons[qsizetype(i)], Main().Action(expected[i])) << i;
        EXPECT_FALSE(buttons[qsizetype(i)]->icon().isNull()) << i;
    }
    EXPECT_FALSE(Enabled(Doc::kFakeSchedule6)) << "no generator running";
    EXPECT_TRUE(Enabled(Doc::kPauseFakeCmrs));

    std::string error;
    ASSERT_TRUE(demo.Connect(Main(), error)) << error;
    OpenPositionWindow();
    EXPECT_TRUE(Enabled(Doc::kFakeSchedule6));
    EXPECT_TRUE(Main().Action(Doc::kFakeSchedule0 + 1)->isChecked()) << "a fake Source starts on schedule 1";
    Main().Action(Doc::kFakeSchedule6)->trigger();
    EXPECT_TRUE(Main().Action(Doc::kFakeSchedule6)->isChecked());
    EXPECT_FALSE(Main().Action(Doc::kFakeSchedule0 + 1)->isChecked());
    Main().Action(Doc::kIncreaseSVs)->trigger();
    EXPECT_EQ(Main().SimulationPaneText(), QStringLiteral("Simulating 10 SVs (5 W)"));
    Main().Action(Doc::kPauseFakeCmrs)->trigger();
    EXPECT_TRUE(Main().Action(Doc::kPauseFakeCmrs)->isChecked());
    EXPECT_EQ(Main().SimulationPaneText(), QStringLiteral("PAUSED"));
}

TEST_F(DesktopCommandsTest, NmeaOutputConfigIsOnThePortMenuAndKeepsTheChoice)
{
    bool onPortMenu = false;
    for (QAction* menu : Main().menuBar()->actions())
        if (menu->text() == QStringLiteral("&Port"))
            onPortMenu = menu->menu()->actions().contains(Main().Action(Doc::kNmeaOutputToListener));
    EXPECT_TRUE(onPortMenu);
    EXPECT_TRUE(Enabled(Doc::kNmeaOutputToListener));
    EXPECT_EQ(Main().Action(Doc::kNmeaOutputToListener)->statusTip(),
              QStringLiteral("Output live (as they arrive) or canned (every 10 seconds) NMEAs to Listener"));

    std::vector<sNmeaOutputSettings> shown;
    Main().ActiveDocumentUi()->SetNmeaOutputDialog([&](sNmeaOutputSettings& output, QWidget* parent) {
        EXPECT_EQ(parent, &Main());
        shown.push_back(output);
        output.enabled = true;
        output.live = true;
        return true;
    });
    Main().Action(Doc::kNmeaOutputToListener)->trigger();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].enabled);
    CTolvarTestSuiteDoc& document = *Main().ActiveDocument();
    EXPECT_TRUE(document.NmeaOutput().ForwardsLive());
    EXPECT_TRUE(document.LiveNmeaForwarder().IsForwarding());
    EXPECT_TRUE(document.LiveNmeaForwarder().IsSubscribed()) << "to the common source";
    EXPECT_TRUE(ReadNmeaOutputSettings(settings).ForwardsLive()) << "stored";
}

TEST(NmeaOutputDialogTest, ShowsTheChoiceWithItsTextsAndEnablesWhatTheChoiceAllows)
{
    sNmeaOutputSettings stored;
    stored.enabled = false;
    gui::CNmeaOutputDialog dialog(stored);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("NMEA Output Config"));
    EXPECT_EQ(dialog.EnableBox().text(), QStringLiteral("Enable NMEA Output"));
    EXPECT_EQ(dialog.LiveChoice().text(), QStringLiteral("Live from \"Common Source\""));
    EXPECT_EQ(dialog.CannedChoice().text(), QStringLiteral("Canned"));
    EXPECT_EQ(dialog.Note().text(),
              QStringLiteral("If and only if the canned string begins with \"$GPGGA\" and ends with \"*\",\n"
                             "the current PC time will be inserted and the correct NMEA checksum will be appended"));
    EXPECT_EQ(dialog.CannedText().text(), QString::fromLatin1(sNmeaOutputSettings::kDefaultCanned));
    EXPECT_FALSE(dialog.EnableBox().isChecked());
    EXPECT_TRUE(dialog.CannedChoice().isChecked());
    EXPECT_FALSE(dialog.LiveChoice().isEnabled());
    EXPECT_FALSE(dialog.CannedText().isEnabled());

    dialog.EnableBox().setChecked(true);
    EXPECT_TRUE(dialog.LiveChoice().isEnabled());
    EXPECT_TRUE(dialog.CannedText().isEnabled());
    dialog.CannedText().setText(QStringLiteral("$GPGGA,000000.00,*"));
    dialog.LiveChoice().setChecked(true);
    EXPECT_FALSE(dialog.CannedText().isEnabled()) << "live: the text is not used";

    const sNmeaOutputSettings chosen = dialog.Output();
    EXPECT_TRUE(chosen.enabled);
    EXPECT_TRUE(chosen.live);
    EXPECT_EQ(chosen.canned, "$GPGGA,000000.00,*") << "kept for when canned is chosen again";

    stored.enabled = true;
    stored.live = true;
    gui::CNmeaOutputDialog again(stored);
    EXPECT_TRUE(again.LiveChoice().isChecked());
    EXPECT_FALSE(again.CannedChoice().isChecked());
}

}  // namespace
