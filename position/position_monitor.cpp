#include "position/position_monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/string_format.h"

namespace TolvarRT {

namespace {

// Arrivals are kept a little longer than the 60 s window: a log line asks
// for the rate at its position's time stamp, which may lie a few seconds
// before the newest frame.
constexpr double kKeepSeconds = 65.0;

// Seconds from the first counted frame, held to the microsecond: clock ticks
// do not convert to seconds exactly, and a frame exactly 60 s before now
// must stay inside the window however the conversion rounds.
double SecondsAfter(TimeStamp timeStamp, TimeStamp first)
{
    return std::round(SecondsBetween(timeStamp, first) * 1e6) / 1e6;
}

double MinutesOf(double coordinate)
{
    const double magnitude = std::fabs(coordinate);
    return (magnitude - std::floor(magnitude)) * 60.0;
}

}  // namespace

CPositionMonitor::CPositionMonitor(TimeSource newClock)
    : clock(std::move(newClock)),
      primarySource(clock),
      commonSource(clock),
      chart(kChartWidth, kChartHeight, -90, 10, CPerformancePlot::kColourByLatest | CPerformancePlot::kLastOnly, clock),
      firstCmrTime(clock())
{
}

CPositionMonitor::~CPositionMonitor()
{
    // Nothing may call in once the members start going.
    Disconnect();
    ClosePositionLog();
}

void CPositionMonitor::Disconnect()
{
    Unsubscribe();
    primarySource.Unsubscribe();
    commonSource.Unsubscribe();
}

void CPositionMonitor::Connect(TSubscription<IIncommingCMRPipe>* cmr, TSubscription<IIncommingNMEAPipe>* primary,
                               TSubscription<IIncommingNMEAPipe>* common)
{
    primarySource.Clear();
    commonSource.Clear();
    if (cmr != nullptr)
        Subscribe(cmr);
    if (primary != nullptr)
        primarySource.Subscribe(primary);
    if (common != nullptr)
        commonSource.Subscribe(common);
}

void CPositionMonitor::OnCMRFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t, std::uint8_t,
                                  const TimeStamp& timeStamp)
{
    if (type != 0)
        return;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (windowFloor == 0.0) {
        firstCmrTime = timeStamp;
        windowFloor = -1.0;
        if (countingStarted)
            countingStarted();
    }
    const double arrival = SecondsAfter(timeStamp, firstCmrTime);
    cmrTimes.push_back(arrival);
    while (!cmrTimes.empty() && cmrTimes.front() < arrival - kKeepSeconds)
        cmrTimes.pop_front();
    if (playSoundOnCmr && cmrSound)
        cmrSound();
}

double CPositionMonitor::CmrRate(TimeStamp now)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (windowFloor == 0.0)
        return 0.0;
    const double age = SecondsAfter(now, firstCmrTime);
    if (age < windowFloor) {
        ResetPerformance();
        return 0.0;
    }
    const double windowStart = std::max(age - 60.0, windowFloor);
    while (!cmrTimes.empty() && cmrTimes.front() < windowStart)
        cmrTimes.pop_front();
    const double span = std::trunc(age - windowStart);
    // A time within the second before the first frame has no whole second
    // to divide by.
    if (span < 1.0)
        return 0.0;
    return double(cmrTimes.size()) / span;
}

void CPositionMonitor::Tick()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (windowFloor != 0.0)
        chart.AddValue(CmrRate(clock()));
}

bool CPositionMonitor::IsCounting() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return windowFloor != 0.0;
}

void CPositionMonitor::ResetPerformance()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    windowFloor = 0.0;
    cmrTimes.clear();
    selectedSource = nullptr;
    chart.ClearChart();
}

const PositionInterceptor* CPositionMonitor::SelectedSource() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return selectedSource;
}

std::string CPositionMonitor::DegreesText(double coordinate)
{
    const auto degrees = std::int16_t(std::clamp(std::trunc(coordinate), -32768.0, 32767.0));
    // Truncation drops the sign of the first degree south or west, and the
    // minutes carry none.
    if (degrees == 0 && coordinate < 0.0)
        return "  -0";
    return StringPrintf("% 4d", int(degrees));
}

std::string CPositionMonitor::PositionText()
{
    const TimeStamp now = clock();
    const sTapSnapshot primary = primarySource.Snapshot();
    const sTapSnapshot common = commonSource.Snapshot();

    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (selectedSource == nullptr) {
        const bool primaryValid = primary.position.valid != 0;
        const bool commonValid = common.position.valid != 0;
        if (primaryValid && commonValid)
            selectedSource = primary.timeStamp > common.timeStamp ? &primarySource : &commonSource;
        else if (primaryValid)
            selectedSource = &primarySource;
        else if (commonValid)
            selectedSource = &commonSource;
        if (selectedSource != nullptr)
            selectedSource->SetOwnerView(this);
    }

    std::string text;
    if (selectedSource == nullptr) {
        text = "Old or No Position";
    } else {
        const bool isCommon = selectedSource == &commonSource;
        const sTapSnapshot& shown = isCommon ? common : primary;
        const sNMEAPosition& p = shown.position;
        text = StringPrintf("Position: Lat:  %s\xBA %08.5f' Altitude: %6.3f meters \n%s Long: %s\xBA %08.5f'   ",
                            DegreesText(p.latitude).c_str(), MinutesOf(p.latitude), p.height,
                            isCommon ? "(common) " : "(primary)", DegreesText(p.longitude).c_str(),
                            MinutesOf(p.longitude));
        const double age = SecondsBetween(now, shown.timeStamp);
        if (age >= kAgeLimitSeconds) {
            text += "Old Position\n";
            selectedSource->SetOwnerView(nullptr);
            selectedSource = nullptr;
        } else {
            if (age > 0.0)
                text += StringPrintf("%0.1f seconds old", age);
            text += "\n" + shown.sentence;
        }
    }
    text += positionLog != nullptr ? "\n LOGGING TO FILE" : "\n ***** LOG FILE CLOSED *****";
    return text;
}

bool CPositionMonitor::OpenPositionLog(const std::string& path)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (positionLog != nullptr)
        return false;
    positionLog = std::fopen(path.c_str(), "wb");
    return positionLog != nullptr;
}

void CPositionMonitor::ClosePositionLog()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (positionLog == nullptr)
        return;
    std::fflush(positionLog);
    std::fclose(positionLog);
    positionLog = nullptr;
}

bool CPositionMonitor::IsLogOpen() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return positionLog != nullptr;
}

void CPositionMonitor::WritePositionLine(const PositionInterceptor& tap, const sNMEAPosition& p, TimeStamp timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (positionLog == nullptr || &tap != selectedSource)
        return;
    const double performance = CmrRate(timeStamp) * 100.0;
    const std::string line =
        StringPrintf("%f, %f, %f, %04d/%02d/%02d, %02d:%02d:%04.1f, %4.1f\r\n", p.latitude, p.longitude, p.height,
                     int(p.year), int(p.month), int(p.day), int(p.hour), int(p.minute), double(p.seconds), performance);
    std::fwrite(line.data(), 1, line.size(), positionLog);
    std::fflush(positionLog);
}

bool CPositionMonitor::PlaySoundOnCmr() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return playSoundOnCmr;
}

void CPositionMonitor::SetPlaySoundOnCmr(bool play)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    playSoundOnCmr = play;
}

unsigned CPositionMonitor::ChartHeightFor(int width, int height)
{
    // Unsigned on purpose: a view under 100 pixels wraps to a huge height,
    // which the half-width bound then catches.
    unsigned result = unsigned(height) - 100u;
    if (result > unsigned(width) / 2)
        result = unsigned(width) / 2;
    return std::max(result, unsigned(kChartHeight));
}

void CPositionMonitor::Resize(int width, int height)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    chartHeight = ChartHeightFor(width, height);
    chart.ResizeChart(width, int(chartHeight));
}

unsigned CPositionMonitor::ChartHeight() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return chartHeight;
}

}  // namespace TolvarRT
