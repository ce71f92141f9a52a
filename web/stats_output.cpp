#include "web/stats_output.h"

#include <algorithm>
#include <optional>

#include "stats/stats_row_figures.h"

namespace web {

using namespace TolvarRT;

std::string TableText(const std::vector<sStatsRow>& rows)
{
    const auto& headers = CStatsTableModel::ColumnHeaders();
    std::vector<std::size_t> widths(headers.size());
    for (std::size_t column = 0; column < headers.size(); ++column) {
        widths[column] = std::string(headers[column]).size();
        for (const sStatsRow& row : rows)
            widths[column] = std::max(widths[column], row.cells[column].size());
    }
    std::string text;
    const auto line = [&](const auto& cell) {
        for (std::size_t column = 0; column < headers.size(); ++column) {
            const std::string value = cell(column);
            // The name left-aligned, the figures right-aligned.
            if (column == 0)
                text += value + std::string(widths[column] - value.size(), ' ');
            else
                text += "  " + std::string(widths[column] - value.size(), ' ') + value;
        }
        text += "\n";
    };
    line([&](std::size_t column) { return std::string(headers[column]); });
    for (const sStatsRow& row : rows)
        line([&](std::size_t column) { return row.cells[column]; });
    return text;
}

namespace {

nlohmann::json Figure(const std::optional<std::uint32_t>& count)
{
    return count ? nlohmann::json(*count) : nlohmann::json(nullptr);
}

nlohmann::json Figure(const std::optional<double>& value, double scale = 1.0)
{
    return value ? nlohmann::json(*value * scale) : nlohmann::json(nullptr);
}

}  // namespace

nlohmann::json RowsJson(const sStatsSnapshot& snapshot)
{
    nlohmann::json array = nlohmann::json::array();
    for (const std::uint32_t key : snapshot.Keys()) {
        const sRowFigures figures = RowFiguresOf(snapshot.Find(key), snapshot.FindSource(key));
        array.push_back({{"name", FrameName(key)},
                         {"class", KeyClass(key)},
                         {"type", KeyType(key)},
                         {"rating", figures.rating != nullptr ? nlohmann::json(figures.rating) : nullptr},
                         {"count", Figure(figures.count)},
                         {"sourceCount", Figure(figures.sourceCount)},
                         {"percentReceived", Figure(figures.percentReceived)},
                         {"lastSizeBytes", Figure(figures.lastSizeBytes)},
                         {"lastIntervalS", Figure(figures.lastIntervalS)},
                         {"lastTimeS", Figure(figures.lastTimeS)},
                         {"lastLatencyMs", Figure(figures.lastLatencyS, 1000.0)},
                         {"averageLengthBytes", Figure(figures.averageLengthBytes)},
                         {"averagePacketsPerS", Figure(figures.averagePacketsPerS)},
                         {"averageLatencyMs", Figure(figures.averageLatencyS, 1000.0)}});
    }
    return array;
}

nlohmann::json LinkFiguresJson(const sLinkFigures& figures)
{
    const bool timed = figures.matched != 0;
    nlohmann::json json = {{"name", figures.name}};
    if (figures.key != 0) {
        json["class"] = KeyClass(figures.key);
        json["type"] = KeyType(figures.key);
    }
    json.update({{"sent", figures.sent},
                 {"received", figures.received},
                 {"matched", figures.matched},
                 {"missed", figures.missed},
                 {"inFlight", figures.inFlight},
                 {"unmatched", figures.unmatched},
                 {"late", figures.late},
                 {"latencyMeanMs", timed ? nlohmann::json(figures.LatencyMeanS() * 1000.0) : nullptr},
                 {"latencyMinMs", timed ? nlohmann::json(figures.latencyMinS * 1000.0) : nullptr},
                 {"latencyMaxMs", timed ? nlohmann::json(figures.latencyMaxS * 1000.0) : nullptr},
                 {"gapRuleLost", figures.gapRuleLost},
                 {"gapRuleLate", figures.gapRuleLate}});
    return json;
}

void AddMeasuredJson(const std::vector<sLinkFigures>& types, nlohmann::json& json)
{
    nlohmann::json array = nlohmann::json::array();
    for (const sLinkFigures& type : types)
        array.push_back(LinkFiguresJson(type));
    json["measured"] = array;
    json["measuredTotal"] = LinkFiguresJson(LinkTotal(types));
}

}  // namespace web
