// The performance chart as its two owners use it: the position window's
// 90-sample chart fed every second and the test window's bar fed every ten.
#include <gtest/gtest.h>

#include <cmath>

#include "manual_clock.h"
#include "position/performance_plot.h"

namespace {

using TolvarRT::CPerformancePlot;
using TolvarRT::sChartColour;
using TolvarRT::testing::ManualClock;

class PerformancePlotTest : public ::testing::Test {
protected:
    ManualClock clock;
    // The position window's chart and the test window's chart bar.
    CPerformancePlot MakePositionChart() { return CPerformancePlot(300, 60, -90, 10, 3, clock.Source()); }
    CPerformancePlot MakeBarChart() { return CPerformancePlot(900, 65, -30, 6, 0, clock.Source()); }
    void Feed(CPerformancePlot& chart, double value, int count, double seconds = 1.0)
    {
        for (int i = 0; i < count; ++i) {
            clock.Advance(seconds);
            chart.AddValue(value);
        }
    }
};

TEST_F(PerformancePlotTest, AClearedChartShowsOnlyFrameGridAndAScaleFrom90To100)
{
    CPerformancePlot chart = MakeBarChart();
    Feed(chart, 0.5, 3);
    const auto before = chart.BackgroundGeneration();
    chart.ClearChart();
    EXPECT_NE(chart.BackgroundGeneration(), before);
    EXPECT_EQ(chart.Label(0), "Average n/a");
    EXPECT_EQ(chart.Label(1), "");
    EXPECT_EQ(chart.Label(2), "");
    EXPECT_DOUBLE_EQ(chart.ScaleFloor(), 0.9);
    EXPECT_EQ(chart.Background().topText, "100%");
    EXPECT_EQ(chart.Background().floorText, "90%");
    EXPECT_FALSE(chart.Background().gridLines.empty());
    EXPECT_EQ(chart.Background().scaleLines.size(), 4u);
    EXPECT_EQ(chart.PointCount(), 0);
    EXPECT_TRUE(chart.SampleOutline().empty());
    EXPECT_TRUE(chart.MeanCurve().empty());
}

TEST_F(PerformancePlotTest, DurationTextsGrowFromSecondsToHours)
{
    const std::pair<long long, const char*> cases[] = {{-1, "n/a"},       {0, "0:00"},        {9, "0:09"},
                                                       {59, "0:59"},      {60, "1:00"},       {3599, "59:59"},
                                                       {3600, "1:00:00"}, {36061, "10:01:01"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(CPerformancePlot::DurationText(seconds), text) << seconds;
}

TEST_F(PerformancePlotTest, TheColourTurnsFromGreenThroughYellowToRed)
{
    CPerformancePlot byMean = MakeBarChart();
    Feed(byMean, 1.0, 5);
    EXPECT_EQ(byMean.FillColour(), (sChartColour{0, 255, 0}));
    EXPECT_EQ(byMean.LineColour(), (sChartColour{0, 127, 0}));

    // Bit 0 colours by the latest sample alone. Green from 98 %; red rises
    // from 0 at 98 % to full at 95 %, so 96.5 % is half way: 255 / 2 = 127;
    // below that green falls from full at 95 % to 0 at 85 %, so 90 % is half
    // way too; red below 85 %. The line is the fill at half strength.
    CPerformancePlot byLatest(300, 60, -90, 10, 1, clock.Source());
    const std::pair<double, sChartColour> cases[] = {
        {0.965, {127, 255, 0}}, {0.98, {0, 255, 0}}, {0.90, {255, 127, 0}}, {0.80, {255, 0, 0}}, {1.2, {0, 255, 0}}};
    for (const auto& [value, colour] : cases) {
        Feed(byLatest, value, 1);
        EXPECT_EQ(byLatest.FillColour(), colour) << value;
    }
    EXPECT_EQ(byLatest.LineColour(), (sChartColour{0, 127, 0}));

    // Without bit 0 one bad sample among good ones colours by the mean.
    Feed(byMean, 0.0, 1);  // mean 5/6
    EXPECT_EQ(byMean.FillColour(), (sChartColour{255, 0, 0}));
    EXPECT_EQ(byMean.LineColour(), (sChartColour{127, 0, 0}));
}

TEST_F(PerformancePlotTest, ALowSampleLowersTheFloorUntilItScrollsOutOfTheRing)
{
    CPerformancePlot chart = MakePositionChart();
    Feed(chart, 1.0, 3);
    const auto steady = chart.BackgroundGeneration();
    Feed(chart, 1.0, 1);
    EXPECT_EQ(chart.BackgroundGeneration(), steady) << "an unchanged floor keeps the image";

    Feed(chart, 0.87, 1);
    EXPECT_DOUBLE_EQ(chart.ScaleFloor(), 0.8);
    EXPECT_EQ(chart.Background().floorText, "80%");
    EXPECT_NE(chart.BackgroundGeneration(), steady);

    Feed(chart, 1.0, CPerformancePlot::kRingSize - 1);
    EXPECT_DOUBLE_EQ(chart.ScaleFloor(), 0.8) << "the low sample is still among the last 512";
    Feed(chart, 1.0, 1);
    EXPECT_DOUBLE_EQ(chart.ScaleFloor(), 0.9);

    // Truncated toward zero: a slightly negative ratio gives a floor of 0.
    Feed(chart, -0.05, 1);
    EXPECT_DOUBLE_EQ(chart.ScaleFloor(), 0.0);
    EXPECT_EQ(chart.Background().floorText, "0%");
}

TEST_F(PerformancePlotTest, WithoutTheLastOnlyBitALowMeanHoldsTheFloorDown)
{
    // 100 zeros, then 600 full samples: the zeros have left the ring, but
    // the lowest mean still in it is 88/189.
    CPerformancePlot withMean = MakeBarChart();
    CPerformancePlot lastOnly(900, 65, -30, 6, CPerformancePlot::kLastOnly, clock.Source());
    for (auto* chart : {&withMean, &lastOnly}) {
        Feed(*chart, 0.0, 100);
        Feed(*chart, 1.0, 600);
    }
    EXPECT_DOUBLE_EQ(withMean.ScaleFloor(), 0.4);
    EXPECT_DOUBLE_EQ(lastOnly.ScaleFloor(), 0.9);
}

TEST_F(PerformancePlotTest, SamplesRunFromTheLeftEdgeToTheRightAndAboveFullAtTheTop)
{
    CPerformancePlot chart = MakePositionChart();
    Feed(chart, 0.9, 1);
    Feed(chart, 61.0 / 60.0, 1);
    Feed(chart, 1.0, 1);
    const auto& plot = chart.PlotRect();
    const auto& outline = chart.SampleOutline();
    ASSERT_EQ(chart.PointCount(), 3);
    ASSERT_EQ(outline.size(), 5u) << "three samples and the two bottom corners";
    EXPECT_EQ(outline[0].x, plot.left + int(std::lround(2 * chart.SampleSpacing())));
    EXPECT_EQ(outline[2].x, plot.left);
    EXPECT_EQ(outline[0].y, plot.top) << "1.0 at the top line";
    EXPECT_EQ(outline[1].y, plot.top) << "above 1.0 is held at the top line";
    EXPECT_EQ(outline[2].y, plot.bottom - 1) << "the floor at the bottom line";
    EXPECT_EQ(outline[3], (TolvarRT::sChartPoint{plot.left, plot.bottom - 1}));
    EXPECT_EQ(outline[4], (TolvarRT::sChartPoint{outline[0].x, plot.bottom - 1}));
    EXPECT_FALSE(chart.TornEdge());
    EXPECT_TRUE(chart.MeanCurve().empty()) << "the position chart draws no mean";
}

TEST_F(PerformancePlotTest, ThePositionChartShowsNinetySamplesThenTearsItsOldEdge)
{
    CPerformancePlot chart = MakePositionChart();
    Feed(chart, 1.0, 90);
    EXPECT_EQ(chart.PointCount(), 90);
    EXPECT_FALSE(chart.TornEdge());
    const auto& plot = chart.PlotRect();
    EXPECT_NEAR(chart.SampleOutline().front().x, plot.right, 1);

    Feed(chart, 1.0, 1);
    EXPECT_EQ(chart.PointCount(), 90);
    ASSERT_TRUE(chart.TornEdge());
    const auto& outline = chart.SampleOutline();
    ASSERT_EQ(outline.size(), 90u + 5 + 2);
    const auto oldest = outline[89];
    EXPECT_EQ(oldest.x, plot.left);
    // Down toward the bottom in sixths, every other point moved left.
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(outline[std::size_t(89 + k)].x, oldest.x - (k % 2 ? chart.Margin() : 0)) << k;
        EXPECT_GT(outline[std::size_t(89 + k)].y, outline[std::size_t(88 + k)].y) << k;
    }
    EXPECT_EQ(outline[95], (TolvarRT::sChartPoint{oldest.x, plot.bottom - 1}));
}

TEST_F(PerformancePlotTest, TheMeanCurveFollowsTheSamplesAndReachesPastTheTornEdge)
{
    CPerformancePlot chart(300, 65, -30, 6, 0, clock.Source());
    Feed(chart, 1.0, 1);
    EXPECT_TRUE(chart.MeanCurve().empty()) << "one point draws no line";
    Feed(chart, 1.0, 29);
    ASSERT_EQ(chart.MeanCurve().size(), 30u);
    EXPECT_EQ(chart.MeanCurve().front().y, chart.PlotRect().top + 1);
    Feed(chart, 1.0, 1);
    ASSERT_TRUE(chart.TornEdge());
    ASSERT_EQ(chart.MeanCurve().size(), 31u);
    EXPECT_EQ(chart.MeanCurve().back().x, chart.MeanCurve()[29].x - chart.Margin());
}

TEST_F(PerformancePlotTest, TheTestWindowLabelsGrowFromTheSamplePeriodToTheWholeRun)
{
    CPerformancePlot chart = MakeBarChart();
    Feed(chart, 1.0, 1, 10.0);
    EXPECT_EQ(chart.Label(0), "0:10 Average 100.0%");
    EXPECT_EQ(chart.Label(1), "");
    EXPECT_EQ(chart.Label(2), "0:10 Average 100.0%");

    chart.ClearChart();
    Feed(chart, 1.0, 1, 9.999);
    EXPECT_EQ(chart.Label(0), "0:09 Average 100.0%") << "the measured period is truncated";

    chart.ClearChart();
    Feed(chart, 1.0, 29, 10.0);
    EXPECT_EQ(chart.Label(1), "");
    Feed(chart, 1.0, 1, 10.0);
    EXPECT_EQ(chart.Label(1), "5:00 Average 100.0%");
    Feed(chart, 1.0, 300, 10.0);
    Feed(chart, 0.5, 30, 10.0);
    EXPECT_EQ(chart.LastIndex(), 359);
    EXPECT_EQ(chart.Label(0), "0:10 Average 50.0%");
    EXPECT_EQ(chart.Label(1), "5:00 Average 50.0%");
    // The whole run: 360 samples of 10 s, 330 full and 30 half full, so
    // (330 + 30 * 0.5) / 360 = 345 / 360 = 95.83 %.
    EXPECT_EQ(chart.Label(2), "1:00:00 Average 95.8%");
}

TEST_F(PerformancePlotTest, ResizingAndMeasuringTheFontMoveTheGeometryAndRedraw)
{
    CPerformancePlot chart = MakePositionChart();
    chart.SetLabelCharWidth(8);
    EXPECT_EQ(chart.Background().frame.right, 300 - 2 - 16 * 8);
    EXPECT_EQ(chart.Background().scaleColumn.Width(), 6 * 8);
    // The grid: the first line at sample 9, then every 10 samples.
    const auto& grid = chart.Background().gridLines;
    ASSERT_EQ(grid.size(), 9u);
    const auto& plot = chart.PlotRect();
    EXPECT_EQ(grid.front().from.x, int(std::lround(plot.left + 9 * chart.SampleSpacing())));
    EXPECT_NEAR(chart.SampleSpacing() * 89, plot.Width(), 1e-9);

    const auto before = chart.BackgroundGeneration();
    chart.ResizeChart(600, 120);
    EXPECT_NE(chart.BackgroundGeneration(), before);
    EXPECT_EQ(chart.LabelFontHeight(), 17) << "the fonts stop growing at a height of 60";
    EXPECT_EQ(chart.ScaleFontHeight(), 15);
    EXPECT_EQ(chart.Background().frame.right, 600 - 2 - 16 * 8);
    EXPECT_EQ(chart.Background().frame.bottom, 118);
}

TEST_F(PerformancePlotTest, AMarkedIntervalIsABandUnderItsSampleThatScrollsOutWithIt)
{
    CPerformancePlot chart = MakePositionChart();
    chart.MarkLatest();  // nothing to mark yet
    EXPECT_TRUE(chart.MarkedBands().empty());
    Feed(chart, 1.0, 3);
    chart.MarkLatest();
    Feed(chart, 0.0, 1);
    const auto& plot = chart.PlotRect();
    ASSERT_EQ(chart.MarkedBands().size(), 1u);
    const TolvarRT::sChartRect band = chart.MarkedBands().front();
    const int markedX = chart.SampleOutline()[1].x;  // the sample before the newest
    EXPECT_LT(band.left, markedX);
    EXPECT_GT(band.right, markedX);
    EXPECT_LE(band.right, chart.SampleOutline()[0].x) << "the band ends where the next sample begins";
    EXPECT_EQ(band.top, plot.top);
    EXPECT_EQ(band.bottom, plot.bottom);

    Feed(chart, 1.0, 88);  // the marked sample is now the oldest shown
    ASSERT_EQ(chart.MarkedBands().size(), 1u);
    EXPECT_EQ(chart.MarkedBands().front().left, plot.left);
    Feed(chart, 1.0, 1);
    EXPECT_TRUE(chart.MarkedBands().empty());

    chart.MarkLatest();
    chart.ClearChart();
    Feed(chart, 1.0, 1);
    EXPECT_TRUE(chart.MarkedBands().empty()) << "a clear takes the marks with the samples";
}

}  // namespace
