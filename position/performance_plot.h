// The scrolling performance chart: samples of a ratio (1.0 = everything
// arrived), their running mean, the labels, the colours and every coordinate
// a painter needs. Nothing here draws; a painter turns the lists of points and
// lines into pixels, so the whole chart is checked without a display.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "position/time_source.h"

namespace TolvarRT {

struct sChartPoint {
    int x = 0;
    int y = 0;
    bool operator==(const sChartPoint&) const = default;
};

struct sChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const sChartRect&) const = default;
};

struct sChartColour {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const sChartColour&) const = default;
};

struct sChartLine {
    sChartPoint from;
    sChartPoint to;
};

// Frame, grid and scale: what goes into the off-screen image.
struct sChartBackground {
    sChartRect frame;        // the sunken 3-D frame
    sChartRect plotArea;     // inside the frame, filled dark
    sChartRect scaleColumn;  // where the scale texts sit
    std::vector<sChartLine> gridLines;
    std::vector<sChartLine> scaleLines;  // scale line, top and floor lines, tick
    std::string topText;                 // "100%"
    std::string floorText;               // e.g. "90%"
    int floorBaseline = 0;               // the floor text sits on this line
};

// Thread rules: none of its own; the owner calls it from one thread at a
// time (the test window's and the position view's user-interface thread, or
// under the position model's lock).
class CPerformancePlot {
public:
    static constexpr int kRingSize = 512;
    // Bit 0: colour by the latest sample, not by the mean since the clear.
    static constexpr unsigned kColourByLatest = 1;
    // Bit 1: one "Last" label and no mean line.
    static constexpr unsigned kLastOnly = 2;

    CPerformancePlot(int width, int height, int spacing, int gridEvery, unsigned chartFlags,
                     TimeSource clock = SystemTimeSource());

    void AddValue(double value);
    // Marks the newest sample: the link was out for a while in its interval.
    // A sample that scrolls out takes its mark with it.
    void MarkLatest();
    void ClearChart();
    void ResizeChart(int width, int height);

    // The font seam: the painter reports the average character width of the
    // label font at LabelFontHeight(); the label and scale columns are
    // measured in it. Changing it moves the geometry like a resize.
    void SetLabelCharWidth(int averageWidth);

    int Width() const { return width; }
    int Height() const { return height; }
    unsigned Flags() const { return chartFlags; }
    int LabelFontHeight() const;
    int ScaleFontHeight() const;
    int LastIndex() const { return lastIndex; }

    const std::string& Label(int index) const { return labels.at(std::size_t(index)); }
    // The baseline of label k (0..2) when all three are shown.
    int LabelBaseline(int index) const { return ((index + 1) * (height - 2)) / 3 - 3; }
    sChartColour FillColour() const { return fillColour; }
    sChartColour LineColour() const { return lineColour; }
    double ScaleFloor() const { return scaleFloor; }
    double SampleSpacing() const { return sampleSpacing; }
    int Margin() const { return margin; }
    const sChartRect& PlotRect() const { return plotRect; }
    const sChartBackground& Background() const { return background; }

    // Raised whenever the background must be drawn again: a clear, a resize,
    // a floor change, a new character width. A painter keeps the value it
    // last drew and redraws its image only when this differs.
    std::uint64_t BackgroundGeneration() const { return backgroundGeneration; }

    // The filled sample polygon, newest first, then the torn edge (when old
    // samples have scrolled out) and the two bottom corners; empty without
    // samples.
    const std::vector<sChartPoint>& SampleOutline() const { return sampleOutline; }
    // The mean curve, newest first; empty with kLastOnly or one point.
    const std::vector<sChartPoint>& MeanCurve() const { return meanCurve; }
    // One band per marked sample shown, as wide as the sample's step and as
    // high as the plot area, oldest first.
    const std::vector<sChartRect>& MarkedBands() const { return markedBands; }
    // Points on the chart (samples shown), and whether the torn edge is drawn.
    int PointCount() const { return pointCount; }
    bool TornEdge() const { return tornEdge; }

    static std::string DurationText(long long seconds);

private:
    void LayOutBackground();
    void ComputePoints();
    void SetColour(double d);

    TimeSource clock;
    unsigned chartFlags;
    int width = 0;
    int height = 0;
    int spacing;
    int gridEvery;
    int labelCharWidth = 0;
    bool labelCharWidthGiven = false;

    int lastIndex = -1;
    std::array<double, kRingSize> rawRing{};
    std::array<double, kRingSize> meanRing{};
    std::array<bool, kRingSize> markRing{};
    double runningSum = 0.0;
    double scaleFloor = 0.9;
    sChartColour fillColour{255, 0, 0};
    sChartColour lineColour{128, 0, 0};
    TimeStamp clearTime = 0;
    TimeStamp lastSampleTime = 0;
    std::array<std::string, 3> labels;

    double sampleSpacing = 1.0;
    int margin = 3;
    sChartRect plotRect;
    sChartBackground background;
    std::uint64_t backgroundGeneration = 0;

    int pointCount = 0;
    bool tornEdge = false;
    std::vector<sChartPoint> sampleOutline;
    std::vector<sChartPoint> meanCurve;
    std::vector<sChartRect> markedBands;
};

}  // namespace TolvarRT
