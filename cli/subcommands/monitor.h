// tolvar monitor: every link a configuration file lists, tested at once.
#pragma once

#include <string>

#include "cli/monitor_command.h"

namespace CLI {
class App;
}

namespace cli {

struct sMonitorArguments {
    std::string configFile;
    sMonitorOptions options;
    bool json = false;
    bool dryRun = false;
};

CLI::App* AddMonitorCommand(CLI::App& app, sMonitorArguments& arguments);
// On a terminal the table of links is redrawn once a second; otherwise it
// is printed once, at the end.
int Monitor(const sMonitorArguments& arguments);

}  // namespace cli
