// The test window: the performance chart along the top, the statistics table
// above the log pane, and the two periodic jobs of its test (the summary
// with the chart's value every ten seconds, the canned NMEA output).
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

class CTolvarTestSuiteDoc;
class ISettingsStore;
class QSplitter;

namespace gui {

class CQtDocumentUi;
class CStatsView;
class CEditLog;
class CTolvarPlot;

// One per test document, maximised in the main window's area for its whole
// life: it cannot be moved, sized, minimised, restored or closed on its own,
// and when it goes the application ends.
//
// Thread rules: the user-interface thread only.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 350;
    static constexpr int kMinimumHeight = 150;
    static constexpr int kChartHeight = 65;

    CChildFrame(CTolvarTestSuiteDoc& document, CQtDocumentUi& ui, ISettingsStore& settings, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CTolvarTestSuiteDoc& Document() { return document; }
    CStatsView& StatsView() { return *statsView; }
    CEditLog& LogView() { return *logView; }
    CTolvarPlot& ChartStrip() { return *chartStrip; }
    QSplitter& Splitter() { return *splitter; }

    // The commands the window answers itself; Run is false for another id.
    bool Claims(unsigned commandId) const;
    bool IsEnabled(unsigned commandId) const;
    bool IsChecked(unsigned commandId) const;
    bool Run(unsigned commandId);

    // Every timer of the window: the statistics view's, the summary (7), the
    // canned NMEA output (78).
    void OnTimer(unsigned id);
    // The views' part of "Reset Statistics".
    void ResetViews();

    // Lets the main window close it when the application ends.
    void AllowClose() { closeAllowed = true; }

signals:
    // The chart got a new value; for tests and the position window.
    void ChartValueAdded(double value);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    CTolvarTestSuiteDoc& document;
    CQtDocumentUi& ui;
    CTolvarPlot* chartStrip = nullptr;
    QSplitter* splitter = nullptr;
    CStatsView* statsView = nullptr;
    CEditLog* logView = nullptr;
    bool closeAllowed = false;
};

}  // namespace gui
