// The chart's arithmetic: labels, colours, floor and the integer geometry of
// frame, grid, scale, sample area and mean curve.
#include "position/performance_plot.h"

#include <algorithm>
#include <cmath>

#include "core/string_format.h"

namespace TolvarRT {

namespace {

// Label column widths, in average characters of the label font.
constexpr int kLabelColumnLastOnly = 16;
constexpr int kLabelColumnAll = 25;
constexpr int kScaleColumn = 6;

int Truncate(double value)
{
    return int(std::trunc(value));
}

}  // namespace

CPerformancePlot::CPerformancePlot(int newWidth, int newHeight, int newSpacing, int newGridEvery, unsigned flags,
                                   TimeSource newClock)
    : clock(std::move(newClock)), chartFlags(flags), spacing(newSpacing), gridEvery(newGridEvery)
{
    ClearChart();
    ResizeChart(newWidth, newHeight);
}

std::string CPerformancePlot::DurationText(long long seconds)
{
    if (seconds < 0)
        return "n/a";
    if (seconds < 60)
        return StringPrintf("0:%02lld", seconds);
    if (seconds < 3600)
        return StringPrintf("%lld:%02lld", seconds / 60, seconds % 60);
    return StringPrintf("%lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

int CPerformancePlot::LabelFontHeight() const
{
    return Truncate(0.29 * std::min(height, 60));
}

int CPerformancePlot::ScaleFontHeight() const
{
    return Truncate(0.25 * std::min(height, 60));
}

void CPerformancePlot::SetLabelCharWidth(int averageWidth)
{
    labelCharWidthGiven = true;
    if (averageWidth == labelCharWidth)
        return;
    labelCharWidth = averageWidth;
    LayOutBackground();
    ComputePoints();
}

void CPerformancePlot::AddValue(double value)
{
    const TimeStamp now = clock();
    lastSampleTime = now;
    const int n = ++lastIndex;
    runningSum += value;
    rawRing[std::size_t(n % kRingSize)] = value;
    markRing[std::size_t(n % kRingSize)] = false;
    meanRing[std::size_t(n % kRingSize)] = runningSum / (n + 1);

    const double elapsed = SecondsBetween(now, clearTime);
    const double period = elapsed / (n + 1);
    // A zero or negative period (samples faster than the clock moves) has no
    // five-minute window; the ring bounds how far back a mean can reach.
    int fiveMinutes = kRingSize;
    if (period > 0.0)
        fiveMinutes = int(std::clamp(std::trunc(300.0 / period + 0.5), 1.0, double(kRingSize)));

    if (chartFlags & kLastOnly)
        labels[0] = StringPrintf("Last %0.1f%%", value * 100.0);
    else
        labels[0] =
            StringPrintf("%s Average %0.1f%%", DurationText((long long)std::trunc(period)).c_str(), value * 100.0);

    double newFloor = 0.9;
    for (int j = std::max(0, n - (kRingSize - 1)); j <= n; ++j) {
        newFloor = std::min(newFloor, rawRing[std::size_t(j % kRingSize)]);
        if (!(chartFlags & kLastOnly))
            newFloor = std::min(newFloor, meanRing[std::size_t(j % kRingSize)]);
    }

    if (n >= fiveMinutes - 1) {
        double sum = 0.0;
        int count = 0;
        for (int j = n - fiveMinutes + 1; j <= n; ++j) {
            if (j < 0)
                continue;
            sum += rawRing[std::size_t(j % kRingSize)];
            ++count;
        }
        labels[1] = StringPrintf("%s Average %0.1f%%", DurationText((long long)std::trunc(count * period)).c_str(),
                                 100.0 * sum / count);
    }
    labels[2] = StringPrintf("%s Average %0.1f%%", DurationText((long long)std::trunc(elapsed + 0.5)).c_str(),
                             100.0 * runningSum / (n + 1));

    SetColour((chartFlags & kColourByLatest) ? value : runningSum / (n + 1));

    const double floor = Truncate(newFloor * 10.0) * 0.1;
    if (floor != scaleFloor) {
        scaleFloor = floor;
        LayOutBackground();
    }
    ComputePoints();
}

void CPerformancePlot::SetColour(double d)
{
    if (d >= 0.98)
        fillColour = {0, 255, 0};
    else if (d >= 0.95)
        fillColour = {Truncate((d - 0.98) * (-100.0 / 3.0) * 255.0), 255, 0};
    else if (d >= 0.85)
        fillColour = {255, Truncate((d - 0.85) * 10.0 * 255.0), 0};
    else
        fillColour = {255, 0, 0};
    lineColour = {fillColour.red / 2, fillColour.green / 2, fillColour.blue / 2};
}

void CPerformancePlot::MarkLatest()
{
    if (lastIndex < 0)
        return;
    markRing[std::size_t(lastIndex % kRingSize)] = true;
    ComputePoints();
}

void CPerformancePlot::ClearChart()
{
    lastIndex = -1;
    rawRing.fill(0.0);
    markRing.fill(false);
    meanRing.fill(0.0);
    labels = {"Average n/a", "", ""};
    runningSum = 0.0;
    scaleFloor = 0.9;
    clearTime = lastSampleTime = clock();
    LayOutBackground();
    ComputePoints();
}

void CPerformancePlot::ResizeChart(int newWidth, int newHeight)
{
    const bool fontChanges = newHeight != height;
    width = newWidth;
    height = newHeight;
    // Until the painter has measured the font, an Arial bold average.
    if (fontChanges && !labelCharWidthGiven)
        labelCharWidth = std::max(1, LabelFontHeight() * 47 / 100);
    LayOutBackground();
    ComputePoints();
}

void CPerformancePlot::LayOutBackground()
{
    ++backgroundGeneration;
    sChartBackground b;
    const int labelColumn = ((chartFlags & kLastOnly) ? kLabelColumnLastOnly : kLabelColumnAll) * labelCharWidth;
    b.frame = {2, 2, width - 2 - labelColumn, height - 2};
    sChartRect r{b.frame.left + 1, b.frame.top + 1, b.frame.right - 1, b.frame.bottom - 1};
    b.plotArea = r;

    b.scaleColumn = {r.right - kScaleColumn * labelCharWidth, r.top, r.right, r.bottom};
    r.right = b.scaleColumn.left;
    r.left += 2;
    r.right -= 2;

    margin = std::clamp(r.Height() / 10, 3, 20);
    r.left += margin;
    r.right -= margin;

    const int plotWidth = r.Width();
    if (spacing < 0) {
        const int across = -spacing;
        sampleSpacing = across > 1 ? double(plotWidth) / (across - 1) : double(plotWidth);
    } else {
        const int samples = spacing > 0 ? plotWidth / spacing : 0;
        sampleSpacing = samples > 0 ? double(plotWidth) / samples : double(spacing);
    }
    if (!(sampleSpacing > 0.0))
        sampleSpacing = 1.0;

    if (2.0 * sampleSpacing < plotWidth && gridEvery > 0) {
        const double step = gridEvery * sampleSpacing;
        for (double x = r.left + (gridEvery - 1) * sampleSpacing; std::lround(x) <= r.right; x += step) {
            const int px = int(std::lround(x));
            b.gridLines.push_back({{px, r.top}, {px, r.bottom - 1}});
        }
    }

    const int shrink = r.Height() / 30 + 1;
    r.top += shrink + 3;
    r.bottom -= shrink;
    const int scaleX = r.right + margin;
    b.scaleLines.push_back({{scaleX, r.top}, {scaleX, r.bottom - 1}});
    b.scaleLines.push_back({{r.left - margin - 2, r.top}, {r.right + margin + 8, r.top}});
    b.scaleLines.push_back({{r.left - margin - 2, r.bottom - 1}, {r.right + margin + 8, r.bottom - 1}});
    const int middle = (r.top + r.bottom) / 2;
    b.scaleLines.push_back({{scaleX, middle}, {scaleX + 6, middle}});

    b.topText = "100%";
    b.floorText = StringPrintf("%0.0f%%", scaleFloor * 100.0);
    b.floorBaseline = r.bottom;
    plotRect = r;
    background = std::move(b);
}

void CPerformancePlot::ComputePoints()
{
    sampleOutline.clear();
    meanCurve.clear();
    markedBands.clear();
    tornEdge = false;
    const int n = lastIndex;
    int p = std::min(kRingSize, n + 1);
    if (p > 0 && plotRect.Width() / sampleSpacing < p - 1)
        p = std::max(1, int(std::trunc(plotRect.Width() / sampleSpacing + 0.5)) + 1);
    pointCount = std::max(p, 0);
    if (pointCount == 0)
        return;

    const double f = 1.0 / (1.0 - scaleFloor);
    const long long s = (long long)std::trunc(sampleSpacing * 256.0 + 0.5);
    auto at = [](const std::array<double, kRingSize>& ring, int j) {
        return j < 0 ? 0.0 : ring[std::size_t(j % kRingSize)];
    };
    auto scaled = [&](double v) { return std::clamp(f * (v - scaleFloor), 0.0, 1.0); };
    const int h = plotRect.Height();
    const int halfStep = std::max(1, int(sampleSpacing / 2.0 + 0.5));
    for (int i = 0; i < pointCount; ++i) {
        const int j = n - i;
        const int x = plotRect.left + int(((pointCount - i - 1) * s + 127) / 256);
        sampleOutline.push_back({x, plotRect.bottom - Truncate(scaled(at(rawRing, j)) * (h - 1)) - 1});
        meanCurve.push_back({x, plotRect.bottom - Truncate(scaled(at(meanRing, j)) * (h - 3)) - 2});
        if (j >= 0 && markRing[std::size_t(j % kRingSize)])
            markedBands.insert(markedBands.begin(),
                               sChartRect{std::max(plotRect.left, x - halfStep), plotRect.top,
                                          std::min(plotRect.right, x + halfStep), plotRect.bottom});
    }

    const sChartPoint newest = sampleOutline.front();
    const sChartPoint oldest = sampleOutline.back();
    tornEdge = n + 1 > pointCount;
    if (tornEdge) {
        const int drop = plotRect.bottom - 1 - oldest.y;
        for (int k = 1; k <= 5; ++k)
            sampleOutline.push_back({oldest.x - (k % 2 ? margin : 0), oldest.y + k * drop / 6});
    }
    sampleOutline.push_back({oldest.x, plotRect.bottom - 1});
    sampleOutline.push_back({newest.x, plotRect.bottom - 1});

    if ((chartFlags & kLastOnly) || pointCount < 2) {
        meanCurve.clear();
        return;
    }
    if (tornEdge)
        meanCurve.push_back({meanCurve.back().x - margin, meanCurve.back().y});
}

}  // namespace TolvarRT
