// tolvar report: an events file written with --events, summarised and drawn.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace cli {

struct sReportArguments {
    std::string eventsFile;
    std::string svgFile;  // empty: no drawing
    bool json = false;
};

CLI::App* AddReportCommand(CLI::App& app, sReportArguments& arguments);
int Report(const sReportArguments& arguments);

}  // namespace cli
