// The position window's behaviour without its window: the rate of CMR frames
// over the last minute and its chart, the choice between the test's own and
// the common NMEA source, the position text with its age, and the position
// log.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "core/pipes.h"
#include "core/subscription.h"
#include "position/performance_plot.h"
#include "position/position_interceptor.h"
#include "position/time_source.h"

namespace TolvarRT {

// Thread rules: OnCMRFrame runs on the Listener's reader thread, the taps'
// log lines on the NMEA ports' threads, everything else on the user-interface
// thread; all of it under the monitor's lock. A tap's lock may be held when
// the monitor's is taken, never the other way round: the monitor copies the
// taps before it locks itself. Draw the chart inside WithChart.
class CPositionMonitor : public TSubscriber<IIncommingCMRPipe> {
public:
    // The chart of the position window: 90 samples across, one a second.
    static constexpr int kChartWidth = 300;
    static constexpr int kChartHeight = 60;
    static constexpr double kAgeLimitSeconds = 60.0;

    explicit CPositionMonitor(TimeSource clock = SystemTimeSource());
    ~CPositionMonitor() override;

    // Only CMR type 0 frames are counted; CMR-W frames never are.
    void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                    const TimeStamp& timeStamp) override;
    void OnCMRWFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override {}

    PositionInterceptor& PrimarySource() { return primarySource; }
    PositionInterceptor& CommonSource() { return commonSource; }

    // The window's first showing: both taps forget their positions, then
    // the monitor and its taps subscribe (any of them may be null).
    void Connect(TSubscription<IIncommingCMRPipe>* cmr, TSubscription<IIncommingNMEAPipe>* primary,
                 TSubscription<IIncommingNMEAPipe>* common);

    // Unsubscribes the monitor and its taps; nothing calls in afterwards.
    void Disconnect();

    // Frames per second over the last 60 s at now; 0 before the first
    // counted frame. A clock more than a second behind the first frame
    // starts the count again.
    double CmrRate(TimeStamp now);
    // The window's tick: while counting, one chart sample of the rate now.
    void Tick();
    bool IsCounting() const;
    void ResetPerformance();

    // What the window shows under the chart, at the clock's now. Chooses a
    // source when none is chosen and lets an old one go.
    std::string PositionText();
    const PositionInterceptor* SelectedSource() const;

    // The position log: created (or truncated) at path; false when that
    // fails or one is open already.
    bool OpenPositionLog(const std::string& path);
    void ClosePositionLog();
    bool IsLogOpen() const;
    // A tap's new position, offered to the log while the tap is selected.
    void WritePositionLine(const PositionInterceptor& tap, const sNMEAPosition& position, TimeStamp timeStamp);

    bool PlaySoundOnCmr() const;
    void SetPlaySoundOnCmr(bool play);
    // Called from the CMR thread: the first counted frame (the window then
    // ticks every second) and every counted frame while the sound is on.
    // Set them before Connect; neither may block.
    void SetCountingStarted(std::function<void()> started) { countingStarted = std::move(started); }
    void SetCmrSound(std::function<void()> sound) { cmrSound = std::move(sound); }

    // The chart is h - 100 high, at most half the width, at least 60.
    static unsigned ChartHeightFor(int width, int height);
    void Resize(int width, int height);
    unsigned ChartHeight() const;

    template <class Use>
    void WithChart(Use&& use)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        use(chart);
    }

    // The degrees of a coordinate as the text shows them: four characters,
    // signed, "-0" for the first degree south or west.
    static std::string DegreesText(double coordinate);

private:
    TimeSource clock;
    PositionInterceptor primarySource;
    PositionInterceptor commonSource;
    PositionInterceptor* selectedSource = nullptr;
    CPerformancePlot chart;
    unsigned chartHeight = kChartHeight;
    std::FILE* positionLog = nullptr;
    bool playSoundOnCmr = false;
    std::function<void()> countingStarted;
    std::function<void()> cmrSound;

    TimeStamp firstCmrTime;
    // 0.0: nothing counted since creation or reset; -1.0 while counting, so
    // that the first minute's window is one second longer than its age.
    double windowFloor = 0.0;
    // Arrival times in seconds after firstCmrTime, oldest first. Whatever the
    // rate, every arrival of the last minute is kept.
    std::deque<double> cmrTimes;
};

}  // namespace TolvarRT
