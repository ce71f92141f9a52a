// The position window's view: a title strip, the chart of CMR frames per
// second over the last minute, and the latest position with its age, for one
// test document and the application's common NMEA source.
#pragma once

#include <QFont>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/fixed_size_view.h"
#include "gui/performance_plot_painter.h"
#include "gui/sound_worker_thread.h"
#include "position/performance_reset.h"
#include "position/position_monitor.h"

class CTolvarTestSuiteDoc;
class ISettingsStore;
class QAction;
class QMdiArea;

namespace TolvarRT {
class CNMEAInputHandler;
}

namespace gui {

class CFixedSizeMDIChildWindow;

// Thread rules: a widget of the user-interface thread. Its model hears CMR
// frames and positions on the ports' threads; the only thing those threads
// ask of the widget is the switch of its tick to one second, which is queued.
class CPositionView : public QWidget, public CFixedSizeView, public TolvarRT::IPerformanceReset {
    Q_OBJECT
public:
    static constexpr int kTitleHeight = 25;
    static constexpr int kIdleTickMs = 2000;
    static constexpr int kCountingTickMs = 1000;
    // The save-as question of the position log; nothing when cancelled.
    using SaveFileAsker = std::function<std::optional<std::string>(const std::string& initialPath)>;
    using SoundThreadMaker = std::function<std::unique_ptr<CSoundWorkerThread>()>;

    CPositionView(CTolvarTestSuiteDoc& document, TolvarRT::CNMEAInputHandler& commonNmea, ISettingsStore& settings,
                  QWidget* parent = nullptr, TolvarRT::TimeSource clock = TolvarRT::SystemTimeSource());
    ~CPositionView() override;

    // The commands, for whatever menus or tool bars show them.
    QAction* OpenLogAction() const { return openLog; }
    QAction* CloseLogAction() const { return closeLog; }
    QAction* SoundAction() const { return sound; }
    QAction* ResetAction() const { return reset; }

    void OpenPositionLog();
    void ClosePositionLog();
    void ToggleSound();
    void ResetPerformance() override;

    // CFixedSizeView
    bool FillMinTrackSize(QSize& minimum) override;
    bool CanCloseFrame() override;

    TolvarRT::CPositionMonitor& Monitor() { return monitor; }
    // The text under the chart as last painted.
    const QString& StatusText() const { return statusText; }
    int TickInterval() const { return tick.interval(); }
    void SetSaveFileAsker(SaveFileAsker asker) { askSaveFileName = std::move(asker); }
    // Where the sound thread comes from the first time the sound is switched on.
    void SetSoundThreadMaker(SoundThreadMaker maker) { makeSoundThread = std::move(maker); }
    // Called on every paint just before the chart is drawn (a probe for
    // tests: the model's lock must be free by then).
    void SetChartDrawingProbe(std::function<void()> probe) { chartDrawingProbe = std::move(probe); }

    // The title strip as last painted: the title in a font small enough for
    // the width, and cut short with an ellipsis when even the smallest font
    // is too wide (the whole title is then the view's tool tip).
    struct sFittedTitle {
        QFont font;
        QString text;
        bool cut = false;
    };
    static sFittedTitle FitTitle(QFont font, int width);
    static constexpr int kSmallestTitlePixels = 11;
    const sFittedTitle& ShownTitle() const { return shownTitle; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnTick();
    void UpdateActions();

    CTolvarTestSuiteDoc& document;
    ISettingsStore& settings;
    TolvarRT::CPositionMonitor monitor;
    CPerformancePlotPainter chartPainter;
    QFont statusFont;
    QString statusText;
    QTimer tick;
    SaveFileAsker askSaveFileName;
    SoundThreadMaker makeSoundThread;
    std::function<void()> chartDrawingProbe;
    sFittedTitle shownTitle;
    // Lives until the view goes; switching the sound off only stops requests.
    // The CMR thread reads it through soundTarget.
    std::unique_ptr<CSoundWorkerThread> soundThread;
    std::atomic<CSoundWorkerThread*> soundTarget{nullptr};
    QAction* openLog;
    QAction* closeLog;
    QAction* sound;
    QAction* reset;
};

// Opens a position window for document in area and shows it.
CFixedSizeMDIChildWindow* OpenPositionWindow(QMdiArea& area, CTolvarTestSuiteDoc& document,
                                             TolvarRT::CNMEAInputHandler& commonNmea, ISettingsStore& settings);

}  // namespace gui
