// tolvar demo: a whole link test on the built-in emulated radio link.
#pragma once

#include <string>
#include <vector>

#include "cli/demo_command.h"
#include "cli/subcommands/shared_options.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cli {

struct sDemoArguments {
    sDemoOptions options;
    std::vector<std::string> dropTexts;  // --drop as given; each parsed into the channel's drop windows
    sVerdictOptions verdict;
    // The options of each generator, to tell those given for the other one.
    std::vector<CLI::Option*> cmr;
    std::vector<CLI::Option*> rtcm3;
};

CLI::App* AddDemoCommand(CLI::App& app, sDemoArguments& arguments);
int Demo(const sDemoArguments& arguments);

}  // namespace cli
