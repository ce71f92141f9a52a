// Many link tests in one process, one per link of a configuration file:
// each with its own document, statistics, health, events file and
// recording; one status server for them all; one line per link on the
// terminal; a verdict per link and the worst of them as the outcome.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/link_test.h"
#include "cli/monitor_config.h"
#include "cli/verdict.h"

namespace cli {

struct sMonitorOptions {
    sMonitorConfig config;
    // Seconds, serving, the wait and the callbacks; its record folder,
    // events file and match window are each link's own.
    sTestLoop loop;
    // How long a link whose ports failed waits before it tries again.
    std::chrono::milliseconds retry{5000};
};

struct sMonitoredLink {
    std::string name;
    bool ran = false;       // its ports opened: it has figures
    std::string openError;  // the last reason its ports failed; empty once they opened
    bool withSource = false;
    sTestFigures figures;
    sVerdict verdict;
};

struct sMonitorResult {
    std::string error;  // not empty when nothing could run: the status server, an events file or a recording failed
    std::vector<sMonitoredLink> links;
};

// One line of the terminal's table, as it stands: name, state, the share of
// the Source's frames received, latency median and 95th percentile, outages.
struct sLinkLine {
    std::string name;
    std::string state;                    // "waiting", "open", "outage" or "done"
    std::optional<double> receivedShare;  // 0..1; none without a Source or before a frame was sent
    std::uint64_t received = 0;           // frames the Listener counted
    std::optional<double> medianMs;
    std::optional<double> p95Ms;
    std::uint64_t outages = 0;
    double outageSeconds = 0.0;
    // The age of the corrections the Listener received, from the frames'
    // own epochs; none while no frame had one.
    std::optional<double> ageMedianMs;
    std::optional<double> ageP95Ms;
};
std::string LinkLinesText(const std::vector<sLinkLine>& lines);

sMonitorResult RunMonitor(const sMonitorOptions& options, std::ostream& progressOut);
// The table at the end, each link's verdict under it.
std::string MonitorText(const sMonitorResult& result);
nlohmann::json MonitorJson(const sMonitorResult& result);

// 1 when no link ever opened its ports (or the monitor could not start: the
// status server or a link's events file or recording failed); otherwise 3 when a link failed a
// requirement or never opened, else 4 when a link's recording or events
// file lost data, else 0.
int MonitorStatus(const sMonitorResult& result);

}  // namespace cli
