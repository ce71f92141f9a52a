// tolvar run: a real link, the Listener on the rover's port and optionally a
// Source on the base's port.
#pragma once

#include <string>
#include <vector>

#include "cli/run_command.h"
#include "cli/subcommands/shared_options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cli {

struct sRunArguments {
    sRunOptions options;
    std::string sourceText;  // --source as given
    sVerdictOptions verdict;
    bool dryRun = false;
    // --schedule and --svs, to tell whether the fake CMR generator's options
    // were given at all.
    CLI::Option* schedule = nullptr;
    CLI::Option* svs = nullptr;
    // The fake RTCM v3 generator's.
    std::vector<CLI::Option*> rtcm3;
};

CLI::App* AddRunCommand(CLI::App& app, sRunArguments& arguments);
// With dryRun the arguments are only judged: nothing is opened, nothing is
// sent, and the status says whether the test would start.
int Run(const sRunArguments& arguments);

}  // namespace cli
