// tolvar demo: a whole link test on the built-in emulated radio link.
#pragma once

#include <string>
#include <vector>

#include "cli/demo_command.h"
#include "cli/subcommands/shared_options.h"

namespace CLI {
class App;
}

namespace cli {

struct sDemoArguments {
    sDemoOptions options;
    std::vector<std::string> dropTexts;  // --drop as given; each parsed into the channel's drop windows
    sVerdictOptions verdict;
};

CLI::App* AddDemoCommand(CLI::App& app, sDemoArguments& arguments);
int Demo(const sDemoArguments& arguments);

}  // namespace cli
