// The main window: menus, toolbar and status bar around the area that holds
// the test window (maximised), the position window and the Stream Content
// window; it routes every command to the active test's document, then to
// the test window, then to the application.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>
#include <vector>

class CTolvarTestSuiteDoc;
class ISettingsStore;
class QAction;
class QLabel;
class QMdiArea;
class QShortcut;
class QToolBar;

namespace web {
class CStatusServer;
}

namespace gui {

class CChildFrame;
class CQtDocumentUi;
class CTolvarTestSuiteApp;

// Thread rules: the user-interface thread only.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kSimulationPaneWidth = 150;
    static constexpr int kLastPaneWidth = 10;
    static constexpr unsigned kCommandRefreshMs = 250;
    // The first run's size, before any placement is stored.
    static constexpr int kDefaultWidth = 1100;
    static constexpr int kDefaultHeight = 720;

    CMainFrame(CTolvarTestSuiteApp& application, ISettingsStore& settings);
    ~CMainFrame() override;

    // Opens a test window on a new test document; the window is the active
    // one from then on.
    CChildFrame& OpenTestWindow();
    // The test window while it is the active window of the area.
    CChildFrame* ActiveTestWindow() const;
    // The test's document while its test window, its position window or its
    // Stream Content window is the active one.
    CTolvarTestSuiteDoc* ActiveDocument() const;
    // The test window that answers the commands of a test window (log pane,
    // Reset Statistics): the active one, or its test's while the position
    // window is active; there is one per run.
    CChildFrame* CommandTestWindow() const;
    QWidget* PositionWindow() const { return positionWindow; }
    QWidget* ContentWindow() const { return contentWindow; }
    CQtDocumentUi* ActiveDocumentUi() const;
    QMdiArea& Area() { return *area; }

    // A command as the menus, the toolbar and the keys invoke it; false when
    // nobody answers it or it is disabled now.
    bool Run(unsigned commandId);
    bool IsEnabled(unsigned commandId) const;
    bool IsChecked(unsigned commandId) const;
    // Brings every menu item and button up to date with the document.
    void UpdateCommands();
    // While a command waits for a device (a port opening, an identity or a
    // radio reply): every command is disabled and the status bar says what
    // is awaited.
    bool IsWaiting() const;

    QAction* Action(unsigned commandId) const;
    QToolBar& ToolBar() { return *toolBar; }
    QToolBar& ScheduleToolBar() { return *scheduleBar; }
    QString SimulationPaneText() const;
    // The status page's address while the web server serves, else empty.
    QString WebServerAddress() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateAccelerators();
    void RestorePlacement();
    void SavePlacement();
    QAction* MakeAction(unsigned commandId);
    bool RunOwn(unsigned commandId);
    bool IsOwnEnabled(unsigned commandId) const;
    void ToggleWebServer();
    void ShowPositionWindow();
    void ShowContentWindow();
    void ShowDocumentTitle(const std::string& title);
    void ShowWaitingStep(const std::string& what);
    // After a command from a menu, the toolbar or a key.
    void CommandOver();

    CTolvarTestSuiteApp& application;
    ISettingsStore& settings;
    QMdiArea* area = nullptr;
    QToolBar* toolBar = nullptr;
    QToolBar* scheduleBar = nullptr;
    QLabel* simulationPane = nullptr;
    QLabel* lastPane = nullptr;
    std::map<unsigned, QAction*> actions;
    std::vector<QShortcut*> testWindowKeys;
    std::vector<QShortcut*> noWindowKeys;

    // The test: its user interface, its document, its window, its server.
    std::unique_ptr<CQtDocumentUi> documentUi;
    std::unique_ptr<CTolvarTestSuiteDoc> document;
    QPointer<CChildFrame> testWindow;
    QPointer<QWidget> positionWindow;
    QPointer<QWidget> contentWindow;
    std::unique_ptr<web::CStatusServer> webServer;
    bool placementSaved = false;
    bool closePending = false;
};

}  // namespace gui
