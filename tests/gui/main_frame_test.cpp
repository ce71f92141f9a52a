// The desktop program as a user meets it: one maximised test window in the
// main window, menus, toolbar and keys that follow the test's state, a demo
// test on the emulated link that fills the table, the window's placement
// kept between runs, and a test window that cannot be closed on its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <httplib.h>

#include <optional>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/common_nmea_source.h"
#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "app/window_placement.h"
#include "gui/about_dlg.h"
#include "gui/child_frame.h"
#include "gui/command_table.h"
#include "gui/demo_link.h"
#include "gui/edit_log.h"
#include "gui/main_frame.h"
#include "gui/qt_document_ui.h"
#include "gui/stats_view.h"
#include "gui/tolvar_plot.h"
#include "gui/tolvar_test_suite_app.h"
#include "pty_pair.h"
#include "recorded_port_dialogs.h"
#include "simulated_receiver.h"
#include "stats/stats_row_figures.h"
#include "tcp_server.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using TolvarRT::testing::WaitUntil;
namespace Doc = DocumentCommand;
namespace App = ApplicationCommand;
namespace Shell = gui::ShellCommand;

const char* const kNotConnected = "Listener : Not Connected | Source : Not Connected";

// Waits for a condition while the event loop runs.
bool WaitWithEvents(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s)
{
    return WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return condition();
        },
        limit);
}

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(application.Start());
        // Unless a choice was preset.
        RecordPortDialogs(application, dialogs);
    }

    gui::CMainFrame& Main() { return application.MainFrame(); }
    gui::CChildFrame& Test() { return *Main().ActiveTestWindow(); }
    CTolvarTestSuiteDoc& Document() { return *Main().ActiveDocument(); }
    gui::CQtDocumentUi& Ui() { return *Main().ActiveDocumentUi(); }
    bool Enabled(unsigned id) { return Main().Action(id)->isEnabled(); }
    bool Checked(unsigned id) { return Main().Action(id)->isChecked(); }

    CMemorySettingsStore settings;
    // Declared before the application: the test's ports close first.
    gui::CDemoLink demo;
    gui::CTolvarTestSuiteApp application{settings};
    std::vector<std::string> dialogs;
};

TEST_F(MainFrameTest, StartsWithOneMaximisedTestWindowOfANewTest)
{
    const QList<QMdiSubWindow*> windows = Main().Area().subWindowList();
    ASSERT_EQ(windows.size(), 1);
    ASSERT_NE(Main().ActiveTestWindow(), nullptr);
    EXPECT_TRUE(WaitWithEvents([&] { return Test().isMaximized(); }));
    EXPECT_EQ(Test().windowTitle().toStdString(), kNotConnected);
    EXPECT_THAT(Main().windowTitle().toStdString(), ::testing::HasSubstr(kNotConnected));
    EXPECT_GE(Test().minimumWidth(), 350);
    EXPECT_GE(Test().minimumHeight(), 150);

    // The chart bar along the top, the table above the log pane.
    EXPECT_EQ(Test().findChildren<gui::CTolvarPlot*>().size(), 1);
    EXPECT_EQ(Test().findChild<gui::CTolvarPlot*>()->height(), gui::CChildFrame::kChartHeight);
    const QSplitter* splitter = Test().findChild<QSplitter*>();
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->orientation(), Qt::Vertical);
    EXPECT_NE(qobject_cast<gui::CStatsView*>(splitter->widget(0)), nullptr);
    EXPECT_NE(qobject_cast<gui::CEditLog*>(splitter->widget(1)), nullptr);
}

// The command numbers are the ones saved toolbars, key maps and scripts know
// (32777 to 32780 the log levels, 32844 pause, 32792 reset statistics), kept
// as numbers so a renumbered command shows here.
TEST_F(MainFrameTest, TheToolbarHoldsItsButtonsInOrderEachWithAnIconOfItsOwn)
{
    const std::vector<unsigned> expected = {Doc::kConnectListener,
                                            Doc::kGetProductId,
                                            Doc::kDisconnectListener,
                                            0,
                                            Doc::kCreateLogFile,
                                            Doc::kCloseLogFile,
                                            0,
                                            32777,
                                            32778,
                                            32779,
                                            32780,
                                            0,
                                            32844,
                                            0,
                                            32792,
                                            0,
                                            Doc::kConnectSource,
                                            Doc::kDisconnectSource,
                                            0,
                                            App::kAbout};
    const QList<QAction*> buttons = Main().ToolBar().actions();
    ASSERT_EQ(buttons.size(), qsizetype(expected.size()));
    std::vector<QImage> icons;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == 0) {
            EXPECT_TRUE(buttons[qsizetype(i)]->isSeparator()) << i;
            continue;
        }
        QAction* button = buttons[qsizetype(i)];
        EXPECT_EQ(button, Main().Action(expected[i])) << i;
        ASSERT_FALSE(button->icon().isNull()) << expected[i];
        const QImage icon = button->icon().pixmap(16, 16).toImage();
        for (const QImage& other : icons)
            EXPECT_NE(icon, other) << expected[i] << " looks like another button";
        icons.push_back(icon);
        EXPECT_FALSE(button->statusTip().isEmpty()) << expected[i];
    }
    EXPECT_EQ(Main().Action(Doc::kConnectListener)->statusTip(), QStringLiteral("Connect Listener port to a Radio"));
    EXPECT_EQ(Main().Action(Doc::kDisconnectSource)->text(), QStringLiteral("&Disconnect \tCtrl+B"));
}

TEST_F(MainFrameTest, TheStatusBarHasItsPanesInABoldArialFontAndBarsHideFromTheViewMenu)
{
    const QFont font = Main().statusBar()->font();
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_EQ(font.pixelSize(), 18);
    const QLabel* pane = Main().statusBar()->findChild<QLabel*>(QStringLiteral("simulationPane"));
    ASSERT_NE(pane, nullptr);
    EXPECT_GE(pane->minimumWidth(), gui::CMainFrame::kSimulationPaneWidth);
    EXPECT_TRUE(pane->text().isEmpty());

    ASSERT_TRUE(Checked(Shell::kStatusBar));
    Main().Action(Shell::kStatusBar)->trigger();
    EXPECT_TRUE(Main().statusBar()->isHidden());
    EXPECT_FALSE(Checked(Shell::kStatusBar));
    ASSERT_TRUE(Checked(Shell::kToolbar));
    Main().Action(Shell::kToolbar)->trigger();
    EXPECT_TRUE(Main().ToolBar().isHidden());
    EXPECT_FALSE(Checked(Shell::kToolbar));
    Main().Action(Shell::kToolbar)->trigger();
    EXPECT_FALSE(Main().ToolBar().isHidden());
}

TEST_F(MainFrameTest, CommandsFollowTheDocumentBeforeAndAfterConnecting)
{
    EXPECT_TRUE(Enabled(Doc::kConnectListener));
    EXPECT_FALSE(Enabled(Doc::kDisconnectListener));
    EXPECT_FALSE(Enabled(Doc::kGetProductId));
    EXPECT_TRUE(Enabled(Doc::kConnectSource));
    EXPECT_FALSE(Enabled(Doc::kDisconnectSource));
    EXPECT_TRUE(Enabled(Doc::kCreateLogFile));
    EXPECT_FALSE(Enabled(Doc::kCloseLogFile));
    EXPECT_TRUE(Enabled(App::kConnectCommonNmea));
    EXPECT_FALSE(Enabled(App::kDisconnectCommonNmea));
    EXPECT_TRUE(Enabled(App::kAbout));
    EXPECT_FALSE(Checked(App::kWebServer));

    std::string error;
    ASSERT_TRUE(demo.Connect(Main(), error)) << error;
    Main().UpdateCommands();
    EXPECT_FALSE(Enabled(Doc::kConnectListener));
    EXPECT_TRUE(Enabled(Doc::kDisconnectListener));
    EXPECT_TRUE(Enabled(Doc::kGetProductId));
    EXPECT_FALSE(Enabled(Doc::kConnectSource));
    EXPECT_TRUE(Enabled(Doc::kDisconnectSource));
    EXPECT_THAT(Main().windowTitle().toStdString(), ::testing::HasSubstr("<Gen Fake>"));
    EXPECT_EQ(Main().SimulationPaneText(), QStringLiteral("Simulating 9 SVs (0 W)"));
    EXPECT_TRUE(Ui().IsTimerActive(CTolvarTestSuiteDoc::kSummaryTimer));
    EXPECT_TRUE(dialogs.empty()) << "the demonstration answers its own dialogs";

    Main().Action(Doc::kDisconnectSource)->trigger();
    EXPECT_TRUE(Enabled(Doc::kConnectSource));
    EXPECT_TRUE(Main().SimulationPaneText().isEmpty());
    Main().Action(Doc::kDisconnectListener)->trigger();
    EXPECT_TRUE(Enabled(Doc::kConnectListener));
    EXPECT_FALSE(Ui().IsTimerActive(CTolvarTestSuiteDoc::kSummaryTimer));
    EXPECT_THAT(Main().windowTitle().toStdString(), ::testing::HasSubstr(kNotConnected));
}

// The Listener's peer takes the connection and never says a word: the
// connection waits its full time for an identity and for the radio's reply.
TEST_F(MainFrameTest, AConnectionToAPeerThatNeverAnswersLeavesTheWindowLiveWithItsCommandsOff)
{
    TolvarRT::testing::CTcpServer peer;
    ASSERT_TRUE(peer.Listen());
    const std::string address = "127.0.0.1:" + std::to_string(peer.Port());
    Ui().PresetPortChoice("Listener", [&](CPortSettings& dialog) {
        dialog.SelectMode(kTcpMode);
        dialog.networkAddress = address;
    });

    // A timer of the user-interface thread, like the table's refresh.
    QTimer tick;
    int waitingTicks = 0;
    bool commandsOff = true;
    std::vector<std::string> messages;
    auto last = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration longestGap{};
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        longestGap = std::max(longestGap, now - last);
        last = now;
        if (!Main().IsWaiting())
            return;
        ++waitingTicks;
        messages.push_back(Main().statusBar()->currentMessage().toStdString());
        Main().UpdateCommands();
        commandsOff = commandsOff && !Enabled(Doc::kConnectSource) && !Enabled(App::kAbout) &&
                      !Main().Run(Shell::kPause) && !Main().Run(Doc::kConnectSource);
    });
    tick.start(50);
    Main().Action(Doc::kConnectListener)->trigger();
    tick.stop();

    EXPECT_TRUE(Document().IsListenerOpen());
    // About 6.5 s of waiting: a frozen window would see none of it.
    EXPECT_GE(waitingTicks, 20);
    EXPECT_LT(longestGap, std::chrono::seconds(1)) << "the user-interface thread stood still";
    EXPECT_TRUE(commandsOff) << "a command could start while the connection waited";
    EXPECT_FALSE(Test().LogView().IsPaused());
    EXPECT_THAT(messages, ::testing::Contains(::testing::HasSubstr("Waiting for the identity of ")));
    EXPECT_THAT(messages, ::testing::Contains("Waiting for the radio's reply..."));
    EXPECT_TRUE(dialogs.empty());
    EXPECT_FALSE(Main().IsWaiting());
    EXPECT_TRUE(Main().statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(Enabled(Doc::kDisconnectListener));
}

TEST_F(MainFrameTest, TheWaitCursorShowsWhileTheCommonSourceOpensNotWhileItsPortIsChosen)
{
    TolvarRT::testing::CTcpServer talker;
    ASSERT_TRUE(talker.Listen());
    bool cursorWhileChoosing = true;
    application.Ui().SetPortDialog([&](CPortSettings& dialog, QWidget*) {
        cursorWhileChoosing = QGuiApplication::overrideCursor() != nullptr;
        dialog.SelectMode(kTcpMode);
        dialog.networkAddress = "127.0.0.1:" + std::to_string(talker.Port());
        dialog.Open();
        return true;
    });
    bool waitCursorWhileOpening = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        waitCursorWhileOpening = waitCursorWhileOpening || (cursor != nullptr && cursor->shape() == Qt::WaitCursor);
    });
    look.start(5);
    Main().Action(App::kConnectCommonNmea)->trigger();
    look.stop();
    EXPECT_TRUE(application.CommonNmea().IsOpen());
    EXPECT_FALSE(cursorWhileChoosing);
    EXPECT_TRUE(waitCursorWhileOpening);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Main().Action(App::kDisconnectCommonNmea)->trigger();
}

TEST_F(MainFrameTest, ACloseAskedForWhileAPortOpensFollowsTheCommand)
{
    TolvarRT::testing::CTcpServer talker;
    ASSERT_TRUE(talker.Listen());
    application.Ui().PresetPortChoice("NMEA", [&](CPortSettings& dialog) {
        dialog.SelectMode(kTcpMode);
        dialog.networkAddress = "127.0.0.1:" + std::to_string(talker.Port());
    });
    std::optional<bool> closedWhileWaiting;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (Main().IsWaiting() && !closedWhileWaiting)
            closedWhileWaiting = Main().close();
    });
    closer.start(5);
    Main().Action(App::kConnectCommonNmea)->trigger();
    closer.stop();
    ASSERT_TRUE(closedWhileWaiting.has_value());
    EXPECT_FALSE(*closedWhileWaiting) << "the window went while its command waited";
    EXPECT_TRUE(application.CommonNmea().IsOpen()) << "the command ran to its end";
    EXPECT_FALSE(Main().isVisible()) << "and the close came after it";
}

TEST_F(MainFrameTest, TheLogPaneCommandsAreTickedForItsLevelAndPause)
{
    Main().Action(32777)->trigger();
    EXPECT_TRUE(Checked(32777));
    EXPECT_FALSE(Checked(32779));
    EXPECT_EQ(Test().LogView().LogLevel(), 0u);
    Main().Action(32780)->trigger();
    EXPECT_TRUE(Checked(32780));
    EXPECT_FALSE(Checked(32777));
    EXPECT_EQ(Test().LogView().LogLevel(), 3u);

    EXPECT_FALSE(Checked(Shell::kPause));
    Main().Action(Shell::kPause)->trigger();
    EXPECT_TRUE(Checked(Shell::kPause));
    EXPECT_TRUE(Test().LogView().IsPaused());
    Main().Action(Shell::kPause)->trigger();
    EXPECT_FALSE(Test().LogView().IsPaused());
}

TEST_F(MainFrameTest, KeysOfTheTestWindowRunItsCommands)
{
    Main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Main()));
    QTest::keyClick(&Main(), Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(&Main(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(&Main(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"Listener", "GPS Source", "Listener"}));
    QTest::keyClick(&Main(), Qt::Key_D, Qt::ControlModifier);  // disabled while closed: nothing asked
    EXPECT_EQ(dialogs.size(), 3u);

    Main().Action(App::kConnectCommonNmea)->trigger();
    EXPECT_EQ(dialogs.back(), "NMEA") << "the application's own command, with its own settings";
    EXPECT_FALSE(application.CommonNmea().IsOpen());
}

TEST_F(MainFrameTest, ADemoTestFillsTheTableWithARatedCmrRowAndTheChartEveryInterval)
{
    std::string error;
    ASSERT_TRUE(demo.Connect(Main(), error)) << error;
    gui::CStatsItemModel& rows = Test().StatsView().Rows();
    const auto cmrRow = [&]() -> int {
        for (int row = 0; row < rows.rowCount(); ++row)
            if (rows.data(rows.index(row, 0)).toString() == QStringLiteral("CMR Type 0"))
                return row;
        return -1;
    };
    ASSERT_TRUE(WaitWithEvents([&] { return cmrRow() >= 0; }));
    // A rating needs the frames' period, which takes a few seconds to learn.
    const auto rating = [&] { return rows.data(rows.index(cmrRow(), 1)).toString().toStdString(); };
    ASSERT_TRUE(WaitWithEvents([&] { return rating() != "n/a"; }, 60s));
    // The demo link loses frames at random and its delays jitter, so no one
    // rating is certain; but whenever the table has read the record's latest
    // frame, the row rates the record as the statistics do. The table reads
    // on this thread, so the record and the row are compared at one moment.
    std::string shown;
    std::string expected;
    const auto tableHasReadTheRecord = [&] {
        TolvarRT::CStatsCollection& statistics = Document().ListenerStatistics();
        const std::uint32_t key = TolvarRT::FrameKey(TolvarRT::kFrameClassCMR, 0);
        TolvarRT::PacketStats record;
        int position = -1;
        while (position != 0 && statistics.NextRecord(position, record, false)) {
            if (record.key != key || record.changed)
                continue;
            const char* text = TolvarRT::RowFiguresOf(&record, nullptr).rating;
            expected = text != nullptr ? text : "n/a";
            shown = rating();
            return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitWithEvents(tableHasReadTheRecord, 60s));
    EXPECT_EQ(shown, expected);
    EXPECT_GT(rows.data(rows.index(cmrRow(), 2)).toInt(), 1) << "count";

    // The summary timer's work, without waiting ten seconds for it.
    QSignalSpy values(&Test(), &gui::CChildFrame::ChartValueAdded);
    const int points = Test().ChartStrip().Chart().LastIndex();
    Test().OnTimer(CTolvarTestSuiteDoc::kSummaryTimer);
    ASSERT_EQ(values.size(), 1);
    EXPECT_GT(values.at(0).at(0).toDouble(), 0.0);
    EXPECT_EQ(Test().ChartStrip().Chart().LastIndex(), points + 1);
    EXPECT_THAT(Document().SummaryText(), ::testing::HasSubstr("Summary as of"));

    Main().Action(Shell::kResetStatistics)->trigger();
    EXPECT_EQ(rows.rowCount(), 0);
    EXPECT_EQ(Test().ChartStrip().Chart().LastIndex(), -1);
    EXPECT_TRUE(Test().LogView().toPlainText().isEmpty());
}

TEST_F(MainFrameTest, TheCannedNmeaTimerStopsItselfWhileTheListenerIsClosed)
{
    Ui().StartTimer(CTolvarTestSuiteDoc::kCannedNmeaTimer, 10000);
    Test().OnTimer(CTolvarTestSuiteDoc::kCannedNmeaTimer);
    EXPECT_FALSE(Ui().IsTimerActive(CTolvarTestSuiteDoc::kCannedNmeaTimer));
}

TEST_F(MainFrameTest, TheWebServerServesTheActiveTestOnLoopbackWhileTicked)
{
    Main().Action(App::kWebServer)->trigger();
    ASSERT_TRUE(Checked(App::kWebServer));
    const QString address = Main().WebServerAddress();
    ASSERT_TRUE(address.startsWith(QStringLiteral("http://127.0.0.1:"))) << address.toStdString();
    httplib::Client client(address.toStdString().substr(0, address.size() - 1));
    const auto page = client.Get(Document().PagePath());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_THAT(page->body, ::testing::HasSubstr(kNotConnected));

    Main().Action(App::kWebServer)->trigger();
    EXPECT_FALSE(Checked(App::kWebServer));
    EXPECT_TRUE(Main().WebServerAddress().isEmpty());
}

TEST_F(MainFrameTest, ThePositionWindowOpensOnceBesideTheMaximisedTestWindow)
{
    CTolvarTestSuiteDoc& document = Document();
    Main().Action(Shell::kPositionWindow)->trigger();
    ASSERT_NE(Main().PositionWindow(), nullptr);
    EXPECT_EQ(Main().Area().subWindowList().size(), 2);
    EXPECT_EQ(Main().ActiveDocument(), &document) << "its test's commands stay on offer";
    EXPECT_TRUE(Enabled(Doc::kConnectListener));
    Main().Action(Shell::kPositionWindow)->trigger();
    EXPECT_EQ(Main().Area().subWindowList().size(), 2);
    auto* testWindow = qobject_cast<gui::CChildFrame*>(Main().Area().subWindowList().first());
    ASSERT_NE(testWindow, nullptr);
    EXPECT_TRUE(WaitWithEvents([&] { return testWindow->isMaximized(); }));
}

TEST_F(MainFrameTest, TheTestWindowIgnoresCloseMinimiseAndRestore)
{
    EXPECT_FALSE(Test().close());
    EXPECT_TRUE(Test().isVisible());
    Test().showMinimized();
    EXPECT_TRUE(WaitWithEvents([&] { return Test().isMaximized(); }));
    Test().showNormal();
    EXPECT_TRUE(WaitWithEvents([&] { return Test().isMaximized(); }));
    EXPECT_EQ(Test().systemMenu(), nullptr);
}

TEST_F(MainFrameTest, TheAboutBoxShowsTheVersionAndTheBuild)
{
    gui::CAboutDlg about(&Main());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About TolvarTestSuite"));
    EXPECT_TRUE(about.VersionText().startsWith(QStringLiteral("Tolvar Test Suite v0.72\n")));
    EXPECT_FALSE(about.NoticeText().isEmpty());
}

TEST(MainFrameLifeTest, DestroyingTheTestWindowClosesTheMainWindow)
{
    CMemorySettingsStore settings;
    gui::CTolvarTestSuiteApp application(settings);
    ASSERT_TRUE(application.Start());
    ASSERT_TRUE(application.MainFrame().isVisible());
    delete application.MainFrame().ActiveTestWindow();
    EXPECT_TRUE(WaitWithEvents([&] { return !application.MainFrame().isVisible(); }));
}

// Regression test for the reset question asked from inside the windows'
// destruction, with their timers still firing.
TEST(MainFrameLifeTest, ClosingWithAPipedInternalRadioAsksWhileEveryWindowIsWhole)
{
    TolvarRT::testing::PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    TolvarRT::testing::SimulatedReceiver receiver(pty, "PRODUCT,TR-200R,Base;PORT,1,2,3,8,1,N,1;VERSION,5,0,0,0;",
                                                  "PRODUCT,UHF-450,R;PORT,4,0,0,8,1,N,0;VERSION,2,0,0,0;");
    CMemorySettingsStore settings;
    auto application = std::make_unique<gui::CTolvarTestSuiteApp>(settings);
    ASSERT_TRUE(application->Start());
    gui::CMainFrame& main = application->MainFrame();
    QPointer<gui::CChildFrame> testWindow = main.ActiveTestWindow();
    main.ActiveDocumentUi()->PresetPortChoice("Listener", [&](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(pty.SlavePath());
    });

    // Every question is answered No: the 77/99 filter, no break.
    std::vector<std::string> questions;
    bool wholeWhenAsked = true;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        questions.push_back(box->text().toStdString());
        wholeWhenAsked = wholeWhenAsked && !testWindow.isNull() && testWindow->isVisible() && main.isVisible();
        box->button(QMessageBox::No)->click();
    });
    answer.start(10);
    main.Action(DocumentCommand::kConnectListener)->trigger();
    ASSERT_TRUE(main.ActiveDocument()->InternalRadioPiped());

    EXPECT_TRUE(main.close());
    EXPECT_THAT(questions, ::testing::Contains("Would you like to reset the Receivers Port?"));
    EXPECT_TRUE(wholeWhenAsked);
    const std::size_t asked = questions.size();
    application.reset();
    answer.stop();
    EXPECT_EQ(questions.size(), asked) << "nothing is asked once the windows go";
}

TEST(MainFrameLifeTest, ThePlacementComesBackShownNormallyAndIsWrittenAtTheEnd)
{
    CMemorySettingsStore settings;
    sWindowPlacement stored;
    stored.showState = sWindowPlacement::kShowMaximized;
    stored.left = 40;
    stored.top = 30;
    stored.right = 840;
    stored.bottom = 630;
    WriteWindowPlacement(settings, stored);
    {
        gui::CTolvarTestSuiteApp application(settings);
        ASSERT_TRUE(application.Start());
        EXPECT_FALSE(application.MainFrame().isMaximized());
        EXPECT_EQ(application.MainFrame().geometry().size(), QSize(800, 600));
        application.MainFrame().setGeometry(100, 120, 700, 500);
    }
    const auto written = ReadWindowPlacement(settings);
    ASSERT_TRUE(written);
    EXPECT_EQ(settings.ReadBytes("Settings", "WindowPlacement")->size(), 44u);
    EXPECT_EQ(written->left, 100);
    EXPECT_EQ(written->top, 120);
    EXPECT_EQ(written->right - written->left, 700);
    EXPECT_EQ(written->bottom - written->top, 500);

    settings.WriteBytes("Settings", "WindowPlacement", std::vector<std::uint8_t>(40, 1));
    gui::CTolvarTestSuiteApp again(settings);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.MainFrame().size(), QSize(gui::CMainFrame::kDefaultWidth, gui::CMainFrame::kDefaultHeight))
        << "a block of another length is ignored";
}

}  // namespace
