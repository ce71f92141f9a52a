#include "gui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/common_nmea_source.h"
#include "app/document_commands.h"
#include "app/tolvar_test_suite_doc.h"
#include "app/window_placement.h"
#include "gui/child_frame.h"
#include "gui/command_table.h"
#include "gui/content_view.h"
#include "gui/fixed_size_mdi_child_window.h"
#include "gui/position_tool_bar.h"
#include "gui/position_view.h"
#include "gui/qt_document_ui.h"
#include "gui/qt_text.h"
#include "gui/tolvar_test_suite_app.h"
#include "web/status_server.h"

namespace gui {
namespace {

namespace Shell = ShellCommand;
namespace App = ApplicationCommand;

const QString kApplicationTitle = QStringLiteral("TolvarTestSuite");

bool IsCheckable(unsigned id)
{
    switch (id) {
    case Shell::kPause:
    case Shell::kToolbar:
    case Shell::kStatusBar:
    case App::kWebServer:
    case DocumentCommand::kPauseFakeCmrs: return true;
    default:
        return (id >= Shell::kLogLevelNone && id <= Shell::kLogLevelAll) ||
               (id >= DocumentCommand::kFakeSchedule0 && id <= DocumentCommand::kFakeSchedule6);
    }
}

}  // namespace

CMainFrame::CMainFrame(CTolvarTestSuiteApp& app, ISettingsStore& store) : application(app), settings(store)
{
    setWindowTitle(kApplicationTitle);
    area = new QMdiArea(this);
    area->setViewMode(QMdiArea::SubWindowView);
    // The test window stays maximised behind the fixed-size position window.
    area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    setCentralWidget(area);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateAccelerators();
    application.Ui().onWaitingStep = [this](const std::string& what) { ShowWaitingStep(what); };
    resize(kDefaultWidth, kDefaultHeight);
    RestorePlacement();
    connect(area, &QMdiArea::subWindowActivated, this, [this] { UpdateCommands(); });
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, &CMainFrame::UpdateCommands);
    refresh->start(int(kCommandRefreshMs));
    UpdateCommands();
}

CMainFrame::~CMainFrame()
{
    // Ended without a close (the program is told to exit): the test still
    // ends while every window is whole. Whatever the windows' going asks of
    // a port afterwards happens without events.
    if (document)
        document->Shutdown();
    application.Ui().RunStepsInPlace();
    application.Ui().onWaitingStep = nullptr;
    if (documentUi)
        documentUi->RunStepsInPlace();
    SavePlacement();
    if (webServer)
        webServer->Stop();
    webServer.reset();
    // The windows go before their document: the position and content
    // windows read it, the test window shuts the test down.
    delete positionWindow.data();
    delete contentWindow.data();
    if (testWindow) {
        testWindow->AllowClose();
        delete testWindow.data();
    }
    document.reset();
    documentUi.reset();
}

CChildFrame& CMainFrame::OpenTestWindow()
{
    documentUi = std::make_unique<CQtDocumentUi>();
    documentUi->SetDialogParent(this);
    documentUi->SetPortDialog(application.PortDialog());
    documentUi->onStatusPane = [this](const std::string& text) { simulationPane->setText(ToQt(text)); };
    documentUi->onMainCaption = [this](const std::string& text) { setWindowTitle(ToQt(text)); };
    documentUi->onDocumentTitle = [this](const std::string& title) { ShowDocumentTitle(title); };
    documentUi->onWaitingStep = [this](const std::string& what) { ShowWaitingStep(what); };
    document = std::make_unique<CTolvarTestSuiteDoc>(settings, *documentUi);
    document->SetLiveNmeaSource(&application.CommonNmea().Decoder());
    auto* frame = new CChildFrame(*document, *documentUi, settings);
    testWindow = frame;
    area->addSubWindow(frame);
    frame->showMaximized();
    area->setActiveSubWindow(frame);
    ShowDocumentTitle(document->TitleText());
    UpdateCommands();
    return *frame;
}

void CMainFrame::ShowWaitingStep(const std::string& what)
{
    if (what.empty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(ToQt(what) + QStringLiteral("..."));
    UpdateCommands();
}

bool CMainFrame::IsWaiting() const
{
    return application.Ui().IsWaiting() || (documentUi && documentUi->IsWaiting());
}

void CMainFrame::ShowDocumentTitle(const std::string& title)
{
    setWindowTitle(kApplicationTitle + QStringLiteral(" - ") + ToQt(title));
    if (testWindow)
        testWindow->setWindowTitle(ToQt(title));
}

CChildFrame* CMainFrame::ActiveTestWindow() const
{
    // The current window stays current while another application is active.
    return qobject_cast<CChildFrame*>(area->currentSubWindow());
}

CTolvarTestSuiteDoc* CMainFrame::ActiveDocument() const
{
    QMdiSubWindow* current = area->currentSubWindow();
    if (current == nullptr || !testWindow)
        return nullptr;
    const bool ofTest = current == testWindow || current == positionWindow || current == contentWindow;
    return ofTest ? &testWindow->Document() : nullptr;
}

CChildFrame* CMainFrame::CommandTestWindow() const
{
    return ActiveDocument() != nullptr ? testWindow.data() : nullptr;
}

CQtDocumentUi* CMainFrame::ActiveDocumentUi() const
{
    return ActiveDocument() != nullptr ? documentUi.get() : nullptr;
}

QAction* CMainFrame::Action(unsigned id) const
{
    const auto found = actions.find(id);
    return found == actions.end() ? nullptr : found->second;
}

QAction* CMainFrame::MakeAction(unsigned id)
{
    if (QAction* existing = Action(id))
        return existing;
    const sCommandInfo& info = CommandInfo(id);
    auto* action = new QAction(QString::fromLatin1(info.menuText), this);
    action->setStatusTip(StatusTip(info));
    action->setToolTip(ToolTip(info));
    action->setCheckable(IsCheckable(id));
    if (info.icon != nullptr)
        action->setIcon(QIcon(QString::fromLatin1(info.icon)));
    connect(action, &QAction::triggered, this, [this, id] {
        Run(id);
        CommandOver();
    });
    actions[id] = action;
    return action;
}

void CMainFrame::CreateMenus()
{
    for (const sMenu& menu : MainMenus()) {
        QMenu* qmenu = menuBar()->addMenu(QString::fromLatin1(menu.title));
        for (unsigned id : menu.items) {
            if (id == Shell::kSeparator)
                qmenu->addSeparator();
            else
                qmenu->addAction(MakeAction(id));
        }
        connect(qmenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
    }
}

void CMainFrame::CreateToolBar()
{
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setIconSize(QSize(16, 15));
    for (unsigned id : ToolbarButtons()) {
        if (id == Shell::kSeparator)
            toolBar->addSeparator();
        else
            toolBar->addAction(MakeAction(id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar);

    // The fake CMR generator's schedules, beside the main bar.
    scheduleBar = new QToolBar(QStringLiteral("Fake CMRs"), this);
    scheduleBar->setObjectName(QStringLiteral("scheduleToolBar"));
    scheduleBar->setIconSize(QSize(16, 15));
    for (unsigned id : ScheduleToolbarButtons())
        scheduleBar->addAction(MakeAction(id));
    addToolBar(Qt::TopToolBarArea, scheduleBar);
}

void CMainFrame::CreateStatusBar()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(18);
    font.setBold(true);
    statusBar()->setFont(font);
    simulationPane = new QLabel(statusBar());
    simulationPane->setObjectName(QStringLiteral("simulationPane"));
    // At least its width; a longer status ("Simulating 15 SVs (7 W)" in the
    // bold font) widens it rather than lose its end.
    simulationPane->setMinimumWidth(kSimulationPaneWidth);
    lastPane = new QLabel(statusBar());
    lastPane->setFixedWidth(kLastPaneWidth);
    statusBar()->addPermanentWidget(simulationPane);
    statusBar()->addPermanentWidget(lastPane);
}

void CMainFrame::CreateAccelerators()
{
    const auto make = [this](const std::vector<sAccelerator>& table, std::vector<QShortcut*>& keys) {
        for (const sAccelerator& key : table) {
            auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(key.keys)), this);
            const unsigned id = key.id;
            connect(shortcut, &QShortcut::activated, this, [this, id] {
                Run(id);
                CommandOver();
            });
            keys.push_back(shortcut);
        }
    };
    make(TestWindowAccelerators(), testWindowKeys);
    make(NoWindowAccelerators(), noWindowKeys);
}

void CMainFrame::CommandOver()
{
    UpdateCommands();
    // A close asked for while the command waited for a device.
    if (closePending && !IsWaiting()) {
        closePending = false;
        close();
    }
}

bool CMainFrame::IsEnabled(unsigned id) const
{
    // One command at a time: while one waits for a device, nothing starts.
    if (IsWaiting())
        return false;
    if (CTolvarTestSuiteDoc* doc = ActiveDocument(); doc != nullptr && doc->Claims(id))
        return doc->IsEnabled(id);
    if (CChildFrame* frame = CommandTestWindow(); frame != nullptr && frame->Claims(id))
        return frame->IsEnabled(id);
    return IsOwnEnabled(id);
}

bool CMainFrame::IsChecked(unsigned id) const
{
    if (CTolvarTestSuiteDoc* doc = ActiveDocument(); doc != nullptr && doc->Claims(id))
        return doc->IsChecked(id);
    if (CChildFrame* frame = CommandTestWindow(); frame != nullptr && frame->Claims(id))
        return frame->IsChecked(id);
    switch (id) {
    case Shell::kToolbar: return !toolBar->isHidden();
    case Shell::kStatusBar: return !statusBar()->isHidden();
    case App::kWebServer: return webServer != nullptr;
    default: return false;
    }
}

bool CMainFrame::IsOwnEnabled(unsigned id) const
{
    if (application.CommonNmea().Claims(id))
        return application.CommonNmea().IsEnabled(id);
    switch (id) {
    case App::kAbout:
    case Shell::kExit:
    case Shell::kToolbar:
    case Shell::kStatusBar: return true;
    case App::kWebServer: return ActiveDocument() != nullptr || webServer != nullptr;
    case Shell::kPositionWindow:
    case Shell::kContentWindow: return ActiveDocument() != nullptr;
    default: return false;
    }
}

bool CMainFrame::Run(unsigned id)
{
    if (IsWaiting())
        return false;
    if (CTolvarTestSuiteDoc* doc = ActiveDocument(); doc != nullptr && doc->Claims(id))
        return doc->Run(id);
    if (CChildFrame* frame = CommandTestWindow(); frame != nullptr && frame->Claims(id))
        return frame->Run(id);
    if (!IsOwnEnabled(id))
        return false;
    return RunOwn(id);
}

bool CMainFrame::RunOwn(unsigned id)
{
    // The wait cursor shows while the port opens, not while the user picks it.
    if (application.CommonNmea().Claims(id))
        return application.CommonNmea().Run(id);
    switch (id) {
    case App::kAbout: application.ShowAbout(this); return true;
    case Shell::kExit: close(); return true;
    case Shell::kToolbar: toolBar->setHidden(!toolBar->isHidden()); return true;
    case Shell::kStatusBar: statusBar()->setHidden(!statusBar()->isHidden()); return true;
    case App::kWebServer: ToggleWebServer(); return true;
    case Shell::kPositionWindow: ShowPositionWindow(); return true;
    case Shell::kContentWindow: ShowContentWindow(); return true;
    default: return false;
    }
}

void CMainFrame::ShowPositionWindow()
{
    // One position window per test: asking again brings it forward.
    if (auto* open = qobject_cast<QMdiSubWindow*>(positionWindow.data())) {
        area->setActiveSubWindow(open);
        return;
    }
    CTolvarTestSuiteDoc* doc = ActiveDocument();
    if (doc == nullptr)
        return;
    CFixedSizeMDIChildWindow* frame = OpenPositionWindow(*area, *doc, application.CommonNmea().Decoder(), settings);
    positionWindow = frame;
    if (auto* view = qobject_cast<CPositionView*>(frame->View()))
        AddPositionToolBar(*frame, *view, Action(App::kConnectCommonNmea), Action(App::kDisconnectCommonNmea));
}

void CMainFrame::ShowContentWindow()
{
    // One per test, as the position window.
    if (auto* open = qobject_cast<QMdiSubWindow*>(contentWindow.data())) {
        area->setActiveSubWindow(open);
        return;
    }
    if (CTolvarTestSuiteDoc* doc = ActiveDocument())
        contentWindow = OpenContentWindow(*area, *doc);
}

void CMainFrame::ToggleWebServer()
{
    if (webServer) {
        webServer->Stop();
        webServer.reset();
        statusBar()->showMessage(QStringLiteral("Web server stopped"), 5000);
        return;
    }
    CTolvarTestSuiteDoc* doc = ActiveDocument();
    if (doc == nullptr)
        return;
    auto server = std::make_unique<web::CStatusServer>(*doc);
    std::string error;
    // Loopback only: the page shows the test to whoever can reach it.
    if (!server->Start("127.0.0.1:0", error)) {
        statusBar()->showMessage(ToQt(error), 5000);
        return;
    }
    webServer = std::move(server);
    statusBar()->showMessage(QStringLiteral("Status page at ") + WebServerAddress(), 10000);
}

QString CMainFrame::WebServerAddress() const
{
    if (!webServer)
        return {};
    return QStringLiteral("http://%1:%2/").arg(ToQt(webServer->Host())).arg(webServer->Port());
}

QString CMainFrame::SimulationPaneText() const
{
    return simulationPane->text();
}

void CMainFrame::UpdateCommands()
{
    // The position and content windows are their test's too: the test's keys stay.
    const bool testActive = area->currentSubWindow() != nullptr;
    const bool waiting = IsWaiting();
    for (QShortcut* key : testWindowKeys)
        key->setEnabled(testActive && !waiting);
    for (QShortcut* key : noWindowKeys)
        key->setEnabled(!testActive && !waiting);
    for (const auto& [id, action] : actions) {
        action->setEnabled(IsEnabled(id));
        if (action->isCheckable())
            action->setChecked(IsChecked(id));
    }
}

void CMainFrame::RestorePlacement()
{
    const auto placement = ReadWindowPlacement(settings);
    if (!placement)
        return;
    const QRect rect(QPoint(placement->left, placement->top), QPoint(placement->right - 1, placement->bottom - 1));
    // A placement on a screen that is no longer there would hide the window.
    if (rect.width() <= 0 || rect.height() <= 0 || QGuiApplication::screenAt(rect.center()) == nullptr)
        return;
    setGeometry(rect);
}

void CMainFrame::SavePlacement()
{
    if (placementSaved)
        return;
    placementSaved = true;
    sWindowPlacement placement;
    const QRect rect = normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.left = rect.left();
    placement.top = rect.top();
    placement.right = rect.right() + 1;
    placement.bottom = rect.bottom() + 1;
    placement.showState = isMinimized()   ? sWindowPlacement::kShowMinimized
                          : isMaximized() ? sWindowPlacement::kShowMaximized
                                          : sWindowPlacement::kShowNormal;
    WriteWindowPlacement(settings, placement);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // A command waiting for a device finishes first; the close follows it.
    if (IsWaiting()) {
        closePending = true;
        event->ignore();
        return;
    }
    // The test ends while every window is whole and the user can still be
    // asked ("Would you like to reset the Receivers Port?"): the windows'
    // destruction later finds nothing left to close.
    if (document)
        document->Shutdown();
    SavePlacement();
    QMainWindow::closeEvent(event);
}

}  // namespace gui
