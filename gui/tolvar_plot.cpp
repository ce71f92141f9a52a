#include "gui/tolvar_plot.h"

#include <QPainter>
#include <QResizeEvent>

namespace gui {

CTolvarPlot::CTolvarPlot(int width, int height, int spacing, int gridEvery, unsigned chartFlags, QWidget* parent)
    : QWidget(parent), chart(width, height, spacing, gridEvery, chartFlags), barHeight(height)
{
    setObjectName("TolvarPlot");
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The chart covers every pixel; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTolvarPlot::AddValue(double value)
{
    chart.AddValue(value);
    update();
}

void CTolvarPlot::MarkLatest()
{
    chart.MarkLatest();
    update();
}

void CTolvarPlot::ClearChart()
{
    chart.ClearChart();
    repaint();
}

void CTolvarPlot::SetStretchedHorizontally(bool stretchedNow)
{
    stretched = stretchedNow;
    updateGeometry();
}

QSize CTolvarPlot::sizeHint() const
{
    return QSize(stretched ? 32767 : 400, barHeight);
}

QSize CTolvarPlot::minimumSizeHint() const
{
    return QSize(0, barHeight);
}

void CTolvarPlot::paintEvent(QPaintEvent*)
{
    QPainter target(this);
    painter.Draw(target, chart);
}

void CTolvarPlot::resizeEvent(QResizeEvent* event)
{
    chart.ResizeChart(event->size().width(), event->size().height());
    QWidget::resizeEvent(event);
}

}  // namespace gui
