// One side's health counts worded and typed the same wherever they are shown:
// at the end of a run and in the report read back from its events file.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "stats/link_health.h"

namespace cli {

// "  Listener: 2 outages of frame types, 1 of the whole link (8.0 s);
// corrupted 0 times (0.0 s), 0 bytes rejected\n"
std::string HealthCountsLine(const char* side, const TolvarRT::sHealthCounts& counts);
// "typeOutages", "linkOutages", "outageSeconds", "corruptedSpells",
// "corruptedSeconds", "rejectedBytes".
nlohmann::json HealthCountsJson(const TolvarRT::sHealthCounts& counts);

}  // namespace cli
