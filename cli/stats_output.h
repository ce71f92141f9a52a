// The statistics table as text and as JSON, for the command line.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stats/stats_collection.h"
#include "stats/stats_table_model.h"

namespace cli {

// The table's columns, aligned, one row per frame type.
std::string TableText(const std::vector<TolvarRT::sStatsRow>& rows);
// Every column as a typed value ("n/a" as null), with class and type and the
// receiver's lost, late and unmatched counts.
nlohmann::json TableJson(const std::vector<TolvarRT::sStatsRow>& rows, TolvarRT::CStatsCollection& receiver);

}  // namespace cli
