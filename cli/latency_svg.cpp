#include "cli/latency_svg.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "app/status_page.h"
#include "core/string_format.h"
#include "stats/packet_stats.h"

namespace cli {
namespace {

using TolvarRT::StringPrintf;

constexpr double kWidth = 1200;
constexpr double kHeight = 500;
constexpr double kLeft = 80;    // room for the latency axis' figures and label
constexpr double kRight = 250;  // room for the legend
constexpr double kTop = 50;
constexpr double kBottom = 60;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;

// Told apart by most readers, colour-blind ones included, and in print.
constexpr const char* kColours[] = {"#0072b2", "#e69f00", "#009e73", "#cc79a7",
                                    "#56b4e9", "#d55e00", "#000000", "#f0e442"};
constexpr const char* kLinkOutageColour = "#808080";
constexpr const char* kCorruptedColour = "#d62728";

// A round step (1, 2 or 5 times a power of ten) giving at most about eight ticks.
double TickStep(double range)
{
    const double rough = range / 8.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough)
            return factor * power;
    return 10.0 * power;
}

struct sScale {
    double maxSeconds;
    double maxMs;
    double X(double seconds) const { return kLeft + kPlotWidth * std::clamp(seconds / maxSeconds, 0.0, 1.0); }
    double Y(double ms) const { return kTop + kPlotHeight * (1.0 - std::clamp(ms / maxMs, 0.0, 1.0)); }
};

std::string Axes(const sScale& scale)
{
    std::string svg =
        StringPrintf("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#000\"/>\n",
                     kLeft, kTop, kPlotWidth, kPlotHeight);
    // A grid line and its figure at every round value of each axis.
    const auto ticks = [&](double maxValue, auto&& tick) {
        const double step = TickStep(maxValue);
        for (double value = 0; value <= maxValue + step * 1e-9; value += step)
            svg += tick(value);
    };
    ticks(scale.maxSeconds, [&](double seconds) {
        const double x = scale.X(seconds);
        return StringPrintf(
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
            "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%g</text>\n",
            x, kTop, x, kTop + kPlotHeight, x, kTop + kPlotHeight + 18, seconds);
    });
    ticks(scale.maxMs, [&](double ms) {
        const double y = scale.Y(ms);
        return StringPrintf(
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
            "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"end\">%g</text>\n",
            kLeft, y, kLeft + kPlotWidth, y, kLeft - 6, y + 4, ms);
    });
    svg += StringPrintf("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">Time since the test began (s)</text>\n",
                        kLeft + kPlotWidth / 2, kHeight - 15);
    svg += StringPrintf(
        "<text x=\"20\" y=\"%.1f\" text-anchor=\"middle\" transform=\"rotate(-90 20 %.1f)\">Latency (ms)</text>\n",
        kTop + kPlotHeight / 2, kTop + kPlotHeight / 2);
    return svg;
}

std::string LegendEntry(unsigned row, const std::string& swatch, const std::string& label)
{
    const double y = kTop + 10 + 22.0 * row;
    return StringPrintf("<g transform=\"translate(%.1f %.1f)\">%s<text x=\"24\" y=\"5\">%s</text></g>\n",
                        kWidth - kRight + 20, y, swatch.c_str(), EscapeHtml(label).c_str());
}

}  // namespace

std::string LatencySvg(const sEventsReport& report, const std::string& title)
{
    double maxMs = 0.0;
    for (const sTypeEvents& type : report.types)
        maxMs = std::max(maxMs, type.latency.Distribution().maxS * 1000.0);
    const sScale scale{std::max(report.lastSeconds, 1.0), maxMs > 0.0 ? maxMs * 1.1 : 100.0};

    std::string svg = StringPrintf(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"13\">\n"
        "<rect width=\"100%%\" height=\"100%%\" fill=\"#fff\"/>\n"
        "<text x=\"%.1f\" y=\"28\" text-anchor=\"middle\" font-size=\"16\">%s</text>\n",
        kWidth, kHeight, kWidth, kHeight, kLeft + kPlotWidth / 2, EscapeHtml(title).c_str());

    const auto colourOf = [&](std::uint32_t key) {
        for (std::size_t index = 0; index < report.types.size(); ++index)
            if (report.types[index].key == key)
                return kColours[index % std::size(kColours)];
        return kLinkOutageColour;
    };
    // Bands under the points, so that no point is hidden.
    for (const sEventBand& band : report.bands) {
        const char* colour =
            band.corrupted ? kCorruptedColour : (band.wholeLink ? kLinkOutageColour : colourOf(band.key));
        const std::string what = std::string(band.corrupted ? "Corrupted" : "Outage") + " of " +
                                 (band.wholeLink ? std::string("the whole link") : TolvarRT::FrameName(band.key)) +
                                 (band.source ? " (source)" : "") + (band.open ? ", not ended" : "");
        const double x = scale.X(band.begin);
        svg += StringPrintf(
            "<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" "
            "fill-opacity=\"%s\"><title>%s, %.1f s to %.1f s</title></rect>\n",
            band.corrupted ? "corrupted" : "outage", x, kTop, std::max(scale.X(band.end) - x, 1.0), kPlotHeight, colour,
            band.corrupted ? "0.15" : "0.25", EscapeHtml(what).c_str(), band.begin, band.end);
    }
    svg += Axes(scale);
    unsigned row = 0;
    for (std::size_t index = 0; index < report.types.size(); ++index) {
        const sTypeEvents& type = report.types[index];
        const char* colour = kColours[index % std::size(kColours)];
        if (type.points.empty())
            continue;
        svg += StringPrintf("<g fill=\"%s\">\n", colour);
        // A day's frames would make a file of tens of megabytes; a point on
        // a pixel already drawn changes nothing in the picture.
        std::set<std::pair<long, long>> drawn;
        for (const sLatencyPoint& point : type.points) {
            const double x = scale.X(point.seconds);
            const double y = scale.Y(point.ms);
            if (drawn.insert({std::lround(x), std::lround(y)}).second)
                svg += StringPrintf("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2.5\"/>\n", x, y);
        }
        svg += "</g>\n";
        svg += LegendEntry(row++, StringPrintf("<circle cx=\"8\" cy=\"0\" r=\"5\" fill=\"%s\"/>", colour), type.name);
    }
    const auto bandSwatch = [](const char* colour, const char* opacity) {
        return StringPrintf("<rect x=\"0\" y=\"-7\" width=\"16\" height=\"14\" fill=\"%s\" fill-opacity=\"%s\"/>",
                            colour, opacity);
    };
    const auto typeOutage = std::find_if(report.bands.begin(), report.bands.end(),
                                         [](const sEventBand& band) { return !band.corrupted && !band.wholeLink; });
    if (typeOutage != report.bands.end())
        svg += LegendEntry(row++, bandSwatch(colourOf(typeOutage->key), "0.25"), "Outage of a type (its colour)");
    if (std::any_of(report.bands.begin(), report.bands.end(),
                    [](const sEventBand& band) { return !band.corrupted && band.wholeLink; }))
        svg += LegendEntry(row++, bandSwatch(kLinkOutageColour, "0.25"), "Outage of the whole link");
    if (std::any_of(report.bands.begin(), report.bands.end(), [](const sEventBand& band) { return band.corrupted; }))
        svg += LegendEntry(row++, bandSwatch(kCorruptedColour, "0.15"), "Corrupted bytes");
    if (row == 0)
        svg += LegendEntry(row++, "", "No frame matched");
    return svg + "</svg>\n";
}

}  // namespace cli
