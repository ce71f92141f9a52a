#include "gui/child_frame.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMdiArea>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include "app/canned_nmea.h"
#include "app/tolvar_test_suite_doc.h"
#include "gui/command_table.h"
#include "gui/edit_log.h"
#include "gui/qt_document_ui.h"
#include "gui/qt_text.h"
#include "gui/stats_view.h"
#include "gui/tolvar_plot.h"

namespace gui {
namespace {

namespace Shell = ShellCommand;

// The chart bar: 256 points wide, 65 high, its construction values.
constexpr int kChartWidth = 256;
constexpr int kChartSpacing = -30;
constexpr int kChartGridEvery = 6;
constexpr unsigned kChartFlags = 0;
constexpr int kIdealRowHeight = 100;

bool IsLogLevel(unsigned id)
{
    return id >= Shell::kLogLevelNone && id <= Shell::kLogLevelAll;
}

}  // namespace

CChildFrame::CChildFrame(CTolvarTestSuiteDoc& doc, CQtDocumentUi& documentUi, ISettingsStore& settings, QWidget* parent)
    : QMdiSubWindow(parent), document(doc), ui(documentUi)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    // No buttons and no system menu: the window lives as long as the program.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setSystemMenu(nullptr);
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    chartStrip = new CTolvarPlot(kChartWidth, kChartHeight, kChartSpacing, kChartGridEvery, kChartFlags, client);
    chartStrip->setFixedHeight(kChartHeight);
    layout->addWidget(chartStrip);
    splitter = new QSplitter(Qt::Vertical, client);
    statsView = new CStatsView(document, splitter);
    logView = new CEditLog(document, settings, splitter);
    splitter->addWidget(statsView);
    splitter->addWidget(logView);
    splitter->setSizes({kIdealRowHeight, kIdealRowHeight});
    layout->addWidget(splitter, 1);
    setWidget(client);

    setWindowTitle(ToQt(document.TitleText()));
    ui.onTimer = [this](unsigned id) { OnTimer(id); };
    ui.onResetStatisticsViews = [this] { ResetViews(); };
}

CChildFrame::~CChildFrame()
{
    ui.onTimer = nullptr;
    ui.onResetStatisticsViews = nullptr;
    document.Shutdown();
    // Closing the test window ends the program.
    if (QWidget* main = window(); main != nullptr && main != this)
        QMetaObject::invokeMethod(main, "close", Qt::QueuedConnection);
}

bool CChildFrame::Claims(unsigned id) const
{
    return IsLogLevel(id) || id == Shell::kPause || id == Shell::kResetStatistics || id == Shell::kCopy;
}

bool CChildFrame::IsEnabled(unsigned id) const
{
    return Claims(id);
}

bool CChildFrame::IsChecked(unsigned id) const
{
    if (IsLogLevel(id))
        return logView->LogLevel() == id - Shell::kLogLevelNone;
    if (id == Shell::kPause)
        return logView->IsPaused();
    return false;
}

bool CChildFrame::Run(unsigned id)
{
    if (IsLogLevel(id))
        logView->SetLogLevel(id - Shell::kLogLevelNone);
    else if (id == Shell::kPause)
        logView->SetPaused(!logView->IsPaused());
    else if (id == Shell::kResetStatistics) {
        document.ResetStatistics();
        ResetViews();
    } else if (id == Shell::kCopy)
        logView->CopyAsRichText();
    else
        return false;
    return true;
}

void CChildFrame::OnTimer(unsigned id)
{
    statsView->OnFrameTimer(int(id));
    if (id == CTolvarTestSuiteDoc::kSummaryTimer) {
        const CTolvarTestSuiteDoc::sChartSample sample = document.TakeIntervalSummaryAndChartValue();
        chartStrip->AddValue(sample.value);
        if (sample.linkOutage)
            chartStrip->MarkLatest();
        emit ChartValueAdded(sample.value);
    } else if (id == CTolvarTestSuiteDoc::kCannedNmeaTimer) {
        document.SendCannedNmea(LocalTimeOfDay());
    }
}

void CChildFrame::ResetViews()
{
    chartStrip->ClearChart();
    statsView->DeleteAllRows();
    logView->ClearText();
}

void CChildFrame::showEvent(QShowEvent* event)
{
    QMdiSubWindow::showEvent(event);
    if (!isMaximized())
        QTimer::singleShot(0, this, [this] { showMaximized(); });
}

void CChildFrame::changeEvent(QEvent* event)
{
    QMdiSubWindow::changeEvent(event);
    // Minimise and restore requests are ignored: back to maximised.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMaximized())
        QTimer::singleShot(0, this, [this] { showMaximized(); });
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    if (closeAllowed)
        QMdiSubWindow::closeEvent(event);
    else
        event->ignore();
}

}  // namespace gui
