#include "cli/stats_output.h"

#include <algorithm>
#include <cstdlib>

namespace cli {

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

nlohmann::json TableJson(const std::vector<sStatsRow>& rows, CStatsCollection& receiver)
{
    // A cell as a number where it is one ("42.50%", "0.043s", "042 ms" too).
    const auto value = [](const std::string& cell) -> nlohmann::json {
        if (cell == "n/a")
            return nullptr;
        char* end = nullptr;
        const double number = std::strtod(cell.c_str(), &end);
        if (end != cell.c_str())
            return number;
        return cell;
    };
    nlohmann::json array = nlohmann::json::array();
    for (const sStatsRow& row : rows) {
        nlohmann::json object = {{"name", row.cells[kColumnName]},
                                 {"class", KeyClass(row.key)},
                                 {"type", KeyType(row.key)},
                                 {"rating", row.cells[kColumnRating] == "n/a" ? nlohmann::json(nullptr)
                                                                              : nlohmann::json(row.cells[kColumnRating])},
                                 {"count", value(row.cells[kColumnCount])},
                                 {"sourceCount", value(row.cells[kColumnSourceCount])},
                                 {"percentReceived", value(row.cells[kColumnReceived])},
                                 {"lastSize", value(row.cells[kColumnLastSize])},
                                 {"lastInterval", value(row.cells[kColumnLastInterval])},
                                 {"lastTime", value(row.cells[kColumnLastTime])},
                                 {"lastLatencyMs", value(row.cells[kColumnLastLatency])},
                                 {"averageLength", value(row.cells[kColumnAverageLength])},
                                 {"averageRate", value(row.cells[kColumnAverageRate])},
                                 {"averageLatency", value(row.cells[kColumnAverageLatency])}};
        PacketStats record;
        if (receiver.FindRecord(row.key, record)) {
            object["lost"] = record.lost;
            object["late"] = record.late;
            object["unmatched"] = record.unmatched;
        }
        array.push_back(object);
    }
    return array;
}

}  // namespace cli
