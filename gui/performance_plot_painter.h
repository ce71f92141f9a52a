// Draws a performance chart model with QPainter. The frame, grid and scale
// live in an off-screen image that is drawn again only when the model says
// its background changed; each paint copies it and draws one polygon, one
// polyline and the labels.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <cstdint>

#include "position/performance_plot.h"

class QPainter;

namespace gui {

// Thread rules: user-interface thread only, like every QPainter.
class CPerformancePlotPainter {
public:
    // Draws chart with its top-left corner at the painter's origin. Measures
    // the label font into the chart first, so the geometry fits the font.
    void Draw(QPainter& target, TolvarRT::CPerformancePlot& chart);

    // The fill of the window around the plot; the position view paints its
    // title strip and text area with it too.
    static QColor WindowBackground();
    static QFont LabelFont(const TolvarRT::CPerformancePlot& chart);
    static QFont ScaleFont(const TolvarRT::CPerformancePlot& chart);
    // The average character width of the label font, as Draw measures it
    // into the chart.
    static int LabelCharWidth(const TolvarRT::CPerformancePlot& chart);

    // How often the background image has been drawn (for tests of caching).
    int BackgroundDrawCount() const { return backgroundDraws; }

private:
    void DrawBackground(const TolvarRT::CPerformancePlot& chart);

    QImage image;
    std::uint64_t drawnGeneration = 0;
    int backgroundDraws = 0;
};

}  // namespace gui
