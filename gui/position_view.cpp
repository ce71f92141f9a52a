#include "gui/position_view.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>

#include "app/settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "decoders/nmea_input_handler.h"
#include "gui/fixed_size_mdi_child_window.h"
#include "gui/qt_text.h"

namespace gui {

namespace {

// Shown with its doubled ampersand as one.
const char kTitle[] = "Position && Performance Chart (instant average of last 60 s )";
constexpr std::size_t kMaxStoredPath = 500;

QString FullTitle()
{
    return QString(kTitle).replace("&&", "&");
}

std::optional<std::string> AskWithFileDialog(QWidget* owner, const std::string& initialPath)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix("txt");
    dialog.setNameFilters({"Text Files(*.txt)", "All Files (*.*)"});
    if (!initialPath.empty())
        dialog.selectFile(ToQt(initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQt(dialog.selectedFiles().front());
}

// An etched line: shadow over highlight.
void EtchedLine(QPainter& painter, int y, int width)
{
    const QPalette palette = QApplication::palette();
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(0, y, width - 1, y);
    painter.setPen(palette.color(QPalette::Light));
    painter.drawLine(0, y + 1, width - 1, y + 1);
}

}  // namespace

CPositionView::CPositionView(CTolvarTestSuiteDoc& doc, TolvarRT::CNMEAInputHandler& commonNmea, ISettingsStore& store,
                             QWidget* parent, TolvarRT::TimeSource clock)
    : QWidget(parent),
      document(doc),
      settings(store),
      monitor(std::move(clock)),
      openLog(new QAction("&Open Position Log...", this)),
      closeLog(new QAction("&Close Position Log", this)),
      sound(new QAction("&Sound on CMR", this)),
      reset(new QAction("&Reset Performance", this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    askSaveFileName = [this](const std::string& initialPath) { return AskWithFileDialog(window(), initialPath); };
    makeSoundThread = [] { return std::make_unique<CSoundWorkerThread>(); };

    statusFont = QFont("Courier New");
    statusFont.setStyleHint(QFont::Monospace);
    statusFont.setPixelSize(15);
    statusFont.setBold(true);

    openLog->setStatusTip("Log Position and Performance Data to a file.");
    closeLog->setStatusTip("Close Position Log File");
    sound->setStatusTip("Plays a sound after receiving a CMR");
    sound->setCheckable(true);
    reset->setStatusTip("Resets the Statistics and Clears Log Pane");
    connect(openLog, &QAction::triggered, this, &CPositionView::OpenPositionLog);
    connect(closeLog, &QAction::triggered, this, &CPositionView::ClosePositionLog);
    connect(sound, &QAction::triggered, this, &CPositionView::ToggleSound);
    connect(reset, &QAction::triggered, this, &CPositionView::ResetPerformance);
    UpdateActions();

    connect(&tick, &QTimer::timeout, this, &CPositionView::OnTick);
    // The first counted frame arrives on the Listener's thread; the timer
    // belongs to this one.
    monitor.SetCountingStarted([this] {
        QMetaObject::invokeMethod(
            this, [this] { tick.start(kCountingTickMs); }, Qt::QueuedConnection);
    });

    monitor.SetCmrSound([this] {
        if (CSoundWorkerThread* target = soundTarget.load())
            target->PostSound(CSoundWorkerThread::kCmrSound);
    });

    document.SetPositionView(this);
    monitor.Connect(&document.ListenerCmr(), &document.ListenerNmea(), &commonNmea);
    tick.start(kIdleTickMs);
}

CPositionView::~CPositionView()
{
    monitor.Disconnect();
    if (document.PositionView() == this)
        document.SetPositionView(nullptr);
}

void CPositionView::OnTick()
{
    monitor.Tick();
    repaint();
}

void CPositionView::UpdateActions()
{
    const bool logOpen = monitor.IsLogOpen();
    openLog->setEnabled(!logOpen);
    closeLog->setEnabled(logOpen);
    sound->setChecked(monitor.PlaySoundOnCmr());
}

void CPositionView::OpenPositionLog()
{
    if (monitor.IsLogOpen())
        return;
    std::string initialPath = settings.ReadProfileText("Settings", "PositionLogPath", "");
    if (initialPath.size() > kMaxStoredPath)
        initialPath.resize(kMaxStoredPath);
    const std::optional<std::string> chosen = askSaveFileName(initialPath);
    if (!chosen)
        return;
    // A file that cannot be created leaves the log closed, as the text says.
    if (monitor.OpenPositionLog(*chosen))
        settings.WriteProfileText("Settings", "PositionLogPath", *chosen);
    UpdateActions();
    update();
}

void CPositionView::ClosePositionLog()
{
    monitor.ClosePositionLog();
    UpdateActions();
    update();
}

void CPositionView::ToggleSound()
{
    const bool on = !monitor.PlaySoundOnCmr();
    if (on && soundThread == nullptr) {
        soundThread = makeSoundThread();
        soundTarget.store(soundThread.get());
    }
    monitor.SetPlaySoundOnCmr(on);
    UpdateActions();
}

void CPositionView::ResetPerformance()
{
    monitor.ResetPerformance();
    update();
}

bool CPositionView::FillMinTrackSize(QSize& minimum)
{
    minimum = QSize(350, 195);
    return true;
}

bool CPositionView::CanCloseFrame()
{
    if (!monitor.IsLogOpen())
        return true;
    return QMessageBox::question(this, QString(),
                                 "WARNING: Closing the Position Performance View will close your log file\n\n"
                                 "Do you want to close the view",
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void CPositionView::resizeEvent(QResizeEvent* event)
{
    monitor.Resize(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

void CPositionView::paintEvent(QPaintEvent*)
{
    statusText = ToQt(monitor.PositionText());
    const int w = width();
    const int chartHeight = int(monitor.ChartHeight());
    const QColor background = CPerformancePlotPainter::WindowBackground();
    QPainter painter(this);

    // The Listener's and the NMEA ports' threads take the model's lock for
    // every frame: it is held only to copy the chart, never while drawing.
    std::optional<TolvarRT::CPerformancePlot> chart;
    monitor.WithChart([&](TolvarRT::CPerformancePlot& live) { chart.emplace(live); });
    const int charWidth = CPerformancePlotPainter::LabelCharWidth(*chart);
    monitor.WithChart([&](TolvarRT::CPerformancePlot& live) { live.SetLabelCharWidth(charWidth); });
    if (chartDrawingProbe)
        chartDrawingProbe();
    painter.save();
    painter.translate(0, kTitleHeight);
    chartPainter.Draw(painter, *chart);
    painter.restore();

    shownTitle = FitTitle(CPerformancePlotPainter::LabelFont(*chart), w - 4);
    const QString tip = shownTitle.cut ? FullTitle() : QString();
    if (toolTip() != tip)
        setToolTip(tip);
    painter.fillRect(QRect(0, 0, w, kTitleHeight), background);
    painter.setFont(shownTitle.font);
    painter.setPen(QApplication::palette().color(QPalette::ButtonText));
    painter.drawText(QRect(2, 2, w - 4, kTitleHeight - 4), Qt::AlignCenter | Qt::TextSingleLine, shownTitle.text);
    EtchedLine(painter, kTitleHeight - 2, w);

    const int textTop = kTitleHeight + chartHeight;
    painter.fillRect(QRect(0, textTop, w, height() - textTop), background);
    EtchedLine(painter, textTop, w);
    painter.setFont(statusFont);
    painter.setPen(QApplication::palette().color(QPalette::WindowText));
    painter.drawText(QRect(7, textTop + 2, w - 14, height() - textTop - 4), Qt::AlignLeft | Qt::AlignTop, statusText);
}

CPositionView::sFittedTitle CPositionView::FitTitle(QFont font, int width)
{
    const QString full = FullTitle();
    while (font.pixelSize() > kSmallestTitlePixels && QFontMetrics(font).horizontalAdvance(full) > width)
        font.setPixelSize(font.pixelSize() - 1);
    sFittedTitle fitted;
    fitted.font = font;
    fitted.text = QFontMetrics(font).elidedText(full, Qt::ElideRight, width);
    fitted.cut = fitted.text != full;
    return fitted;
}

CFixedSizeMDIChildWindow* OpenPositionWindow(QMdiArea& area, CTolvarTestSuiteDoc& document,
                                             TolvarRT::CNMEAInputHandler& commonNmea, ISettingsStore& settings)
{
    auto* frame = new CFixedSizeMDIChildWindow;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->SetView(new CPositionView(document, commonNmea, settings));
    frame->setWindowTitle("Position");
    area.addSubWindow(frame);
    frame->resize(500, 150);
    frame->show();
    return frame;
}

}  // namespace gui
