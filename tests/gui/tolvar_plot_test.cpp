// The chart bar as the test window shows it: a strip 65 pixels high that
// draws frame, grid and scale, and paints a good link green.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "gui/tolvar_plot.h"

namespace {

class TolvarPlotTest : public ::testing::Test {
protected:
    TolvarPlotTest() { bar.resize(800, 65); }
    QImage Shot() { return bar.grab().toImage(); }
    QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

    gui::CTolvarPlot bar{256, 65, -30, 6, 0};
};

TEST_F(TolvarPlotTest, TheBarKeepsItsHeightAndAsksForTheWholeWidth)
{
    EXPECT_EQ(bar.height(), 65);
    EXPECT_EQ(bar.sizeHint(), QSize(32767, 65));
    bar.SetStretchedHorizontally(false);
    EXPECT_EQ(bar.sizeHint(), QSize(400, 65));
    Shot();
    EXPECT_EQ(bar.Chart().Width(), 800) << "the chart fills the bar";
}

TEST_F(TolvarPlotTest, AClearedChartShowsFrameGridAndScale)
{
    bar.AddValue(0.5);
    bar.ClearChart();
    const QImage shot = Shot();
    const auto& chart = bar.Chart();
    const auto& plot = chart.PlotRect();
    const int middle = (plot.top + plot.bottom) / 2;
    ASSERT_FALSE(chart.Background().gridLines.empty());
    const int gridX = chart.Background().gridLines.front().from.x;
    EXPECT_EQ(At(shot, gridX, middle), QColor(96, 96, 96));
    EXPECT_EQ(At(shot, gridX - 3, middle), QColor(32, 32, 32)) << "the empty plot area";
    const auto& frame = chart.Background().frame;
    EXPECT_NE(At(shot, frame.left + 3, frame.top), QColor(32, 32, 32)) << "the frame's edge";
    EXPECT_EQ(At(shot, 0, 0), gui::CPerformancePlotPainter::WindowBackground());

    // The scale texts leave light pixels in their column.
    const auto& column = chart.Background().scaleColumn;
    int light = 0;
    for (int x = column.left; x < column.right; ++x)
        for (int y = column.top; y < column.bottom; ++y)
            light += At(shot, x, y).lightness() > 120 ? 1 : 0;
    EXPECT_GT(light, 20);
}

TEST_F(TolvarPlotTest, AGoodLinkPaintsGreen)
{
    Shot();
    for (int i = 0; i < 40; ++i)
        bar.AddValue(1.0);
    const QImage shot = Shot();
    const auto& plot = bar.Chart().PlotRect();
    const auto newest = bar.Chart().SampleOutline().front();
    EXPECT_EQ(At(shot, newest.x - 4, (plot.top + plot.bottom) / 2), QColor(0, 255, 0));
}

// Only a clear, a resize or a new floor draw the frame, grid and scale again.
TEST(PerformancePlotPainterTest, TheBackgroundIsRedrawnOnlyWhenTheChartAsks)
{
    TolvarRT::CPerformancePlot chart(300, 60, -90, 10, 3);
    gui::CPerformancePlotPainter painter;
    QImage target(300, 60, QImage::Format_RGB32);
    auto draw = [&] {
        QPainter onTarget(&target);
        painter.Draw(onTarget, chart);
    };
    draw();
    const int first = painter.BackgroundDrawCount();
    chart.AddValue(1.0);
    draw();
    EXPECT_EQ(painter.BackgroundDrawCount(), first);
    chart.AddValue(0.5);
    draw();
    EXPECT_EQ(painter.BackgroundDrawCount(), first + 1) << "the floor fell to 50%";
    chart.ClearChart();
    draw();
    EXPECT_EQ(painter.BackgroundDrawCount(), first + 2);
}

}  // namespace
