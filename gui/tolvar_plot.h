// The test window's chart bar: one performance chart filling a strip of
// fixed height along the top of the window.
#pragma once

#include <QWidget>

#include "gui/performance_plot_painter.h"
#include "position/performance_plot.h"

namespace gui {

// The bar carries no companion window: nothing would ever attach one, so its
// arrow button is left out.
//
// Thread rules: user-interface thread only.
class CTolvarPlot : public QWidget {
    Q_OBJECT
public:
    CTolvarPlot(int width, int height, int spacing, int gridEvery, unsigned chartFlags, QWidget* parent = nullptr);

    TolvarRT::CPerformancePlot& Chart() { return chart; }
    // Appends a sample and repaints.
    void AddValue(double value);
    // Marks the newest sample (an outage of the link in its interval) and repaints.
    void MarkLatest();
    // Clears the chart and repaints at once.
    void ClearChart();

    // Stretched along the window (the default), the bar asks for all the
    // width there is; docked otherwise, for 400 pixels.
    void SetStretchedHorizontally(bool stretched);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TolvarRT::CPerformancePlot chart;
    CPerformancePlotPainter painter;
    int barHeight;
    bool stretched = true;
};

}  // namespace gui
