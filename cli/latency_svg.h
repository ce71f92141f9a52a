// The picture of an events file for a field report: the latency of every
// matched frame over the test, one colour per frame type, with the outages
// and the runs of corruption as shaded bands.
#pragma once

#include <string>

#include "cli/events_report.h"

namespace cli {

// A standalone SVG document, 1200 x 500, titled with the given text.
std::string LatencySvg(const sEventsReport& report, const std::string& title);

}  // namespace cli
