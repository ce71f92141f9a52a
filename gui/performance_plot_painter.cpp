#include "gui/performance_plot_painter.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPolygon>

#include "gui/qt_text.h"

namespace gui {

namespace {

const QColor kPlotArea(32, 32, 32);
const QColor kGrid(96, 96, 96);
// The scale and its texts: light enough to read on the dark plot area.
const QColor kScale(192, 192, 192);
// Intervals in which the link was out: amber behind the samples, so the
// red of a poor interval still shows through.
const QColor kOutageBand(255, 176, 0, 110);

QColor ToColour(const TolvarRT::sChartColour& colour)
{
    return QColor(colour.red, colour.green, colour.blue);
}

QPoint ToPoint(const TolvarRT::sChartPoint& point)
{
    return QPoint(point.x, point.y);
}

QPolygon ToPolygon(const std::vector<TolvarRT::sChartPoint>& points)
{
    QPolygon polygon;
    polygon.reserve(qsizetype(points.size()));
    for (const auto& point : points)
        polygon << ToPoint(point);
    return polygon;
}

QFont ArialOfHeight(int pixels, bool bold)
{
    QFont font("Arial");
    font.setPixelSize(std::max(1, pixels));
    font.setBold(bold);
    return font;
}

}  // namespace

QColor CPerformancePlotPainter::WindowBackground()
{
    return QApplication::palette().color(QPalette::Button);
}

QFont CPerformancePlotPainter::LabelFont(const TolvarRT::CPerformancePlot& chart)
{
    return ArialOfHeight(chart.LabelFontHeight(), true);
}

QFont CPerformancePlotPainter::ScaleFont(const TolvarRT::CPerformancePlot& chart)
{
    return ArialOfHeight(chart.ScaleFontHeight(), false);
}

int CPerformancePlotPainter::LabelCharWidth(const TolvarRT::CPerformancePlot& chart)
{
    return std::max(1, QFontMetrics(LabelFont(chart)).averageCharWidth());
}

void CPerformancePlotPainter::Draw(QPainter& target, TolvarRT::CPerformancePlot& chart)
{
    const QFont labelFont = LabelFont(chart);
    chart.SetLabelCharWidth(LabelCharWidth(chart));
    const int width = chart.Width();
    const int height = chart.Height();
    if (width <= 0 || height <= 0)
        return;
    // The image only grows: a smaller chart draws into the corner of it.
    if (image.isNull() || image.width() < width || image.height() < height) {
        image = QImage(width, height, QImage::Format_RGB32);
        DrawBackground(chart);
    } else if (drawnGeneration != chart.BackgroundGeneration()) {
        DrawBackground(chart);
    }
    target.drawImage(QPoint(0, 0), image, QRect(0, 0, width, height));

    target.save();
    target.setFont(labelFont);
    target.setPen(QApplication::palette().color(QPalette::ButtonText));
    if (chart.Flags() & TolvarRT::CPerformancePlot::kLastOnly) {
        target.drawText(QRect(0, 0, width - 4, height), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                        ToQt(chart.Label(0)));
    } else {
        const QFontMetrics metrics(labelFont);
        for (int k = 0; k < 3; ++k) {
            const QString text = ToQt(chart.Label(k));
            target.drawText(QPoint(width - 4 - metrics.horizontalAdvance(text), chart.LabelBaseline(k)), text);
        }
    }

    for (const TolvarRT::sChartRect& band : chart.MarkedBands())
        target.fillRect(QRect(QPoint(band.left, band.top), QPoint(band.right - 1, band.bottom - 1)), kOutageBand);
    if (!chart.SampleOutline().empty()) {
        target.setPen(QPen(ToColour(chart.LineColour()), 1));
        target.setBrush(ToColour(chart.FillColour()));
        target.drawPolygon(ToPolygon(chart.SampleOutline()));
    }
    if (!chart.MeanCurve().empty()) {
        target.setPen(QPen(ToColour(chart.LineColour()), 3));
        target.drawPolyline(ToPolygon(chart.MeanCurve()));
    }
    target.restore();
}

void CPerformancePlotPainter::DrawBackground(const TolvarRT::CPerformancePlot& chart)
{
    ++backgroundDraws;
    drawnGeneration = chart.BackgroundGeneration();
    const auto& b = chart.Background();
    const QPalette palette = QApplication::palette();
    QPainter painter(&image);
    painter.fillRect(image.rect(), WindowBackground());

    // Sunken: shadow along the top and left, highlight along the bottom and right.
    const QRect frame(QPoint(b.frame.left, b.frame.top), QPoint(b.frame.right - 1, b.frame.bottom - 1));
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(palette.color(QPalette::Light));
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());
    painter.fillRect(
        QRect(QPoint(b.plotArea.left, b.plotArea.top), QPoint(b.plotArea.right - 1, b.plotArea.bottom - 1)), kPlotArea);

    painter.setPen(QPen(kGrid, 1));
    for (const auto& line : b.gridLines)
        painter.drawLine(ToPoint(line.from), ToPoint(line.to));
    painter.setPen(QPen(kScale, 1));
    for (const auto& line : b.scaleLines)
        painter.drawLine(ToPoint(line.from), ToPoint(line.to));

    const QFont scaleFont = ScaleFont(chart);
    painter.setFont(scaleFont);
    const QFontMetrics metrics(scaleFont);
    const QRect column(QPoint(b.scaleColumn.left, b.scaleColumn.top),
                       QPoint(b.scaleColumn.right - 1, b.scaleColumn.bottom - 1));
    painter.drawText(column, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, ToQt(b.topText));
    const QString floorText = ToQt(b.floorText);
    painter.drawText(QPoint(column.center().x() - metrics.horizontalAdvance(floorText) / 2, b.floorBaseline),
                     floorText);
}

}  // namespace gui
