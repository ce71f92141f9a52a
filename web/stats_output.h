// The statistics table as text, and the figures of a test as JSON, for the
// command line and the status server.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stats/link_figures.h"
#include "stats/stats_snapshot.h"
#include "stats/stats_table_model.h"

namespace web {

// The table's columns, aligned, one row per frame type.
std::string TableText(const std::vector<TolvarRT::sStatsRow>& rows);
// The table's rows from the records themselves: counts as integers, every
// other figure with its unit in its name, null where the table shows "n/a".
nlohmann::json RowsJson(const TolvarRT::sStatsSnapshot& snapshot);
// What the link did to one frame type, or to all of them.
nlohmann::json LinkFiguresJson(const TolvarRT::sLinkFigures& figures);
// "measured": one object per frame type; "measuredTotal": the whole run.
void AddMeasuredJson(const std::vector<TolvarRT::sLinkFigures>& types, nlohmann::json& json);
// One frame type's ages: "name", "class", "type", "mean_ms", "min_ms",
// "max_ms", "median_ms", "p95_ms", "rms_ms" (null without ages), "count",
// "clock_faults".
nlohmann::json AgeFiguresJson(const TolvarRT::sAgeFigures& type);
// One side's stream content: "age" per type, "epochs", "stations",
// "satellites" per GNSS and "clock", figures in ms and m, snake_case.
nlohmann::json ContentJson(const TolvarRT::sContentSnapshot& content);
// "content": {"listener": ..., "source": ...}, a side only when it saw
// content (source may be null).
void AddContentJson(const TolvarRT::sContentSnapshot& listener, const TolvarRT::sContentSnapshot* source,
                    nlohmann::json& json);

}  // namespace web
