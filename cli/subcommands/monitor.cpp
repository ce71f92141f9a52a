// tolvar monitor: every link a configuration file lists, tested at once.
#include "cli/subcommands/monitor.h"

#include <CLI/CLI.hpp>

#include "cli/monitor_config.h"
#include "cli/subcommands/shared_options.h"
#include "cli/subcommands/terminal_run.h"

namespace cli {

CLI::App* AddMonitorCommand(CLI::App& app, sMonitorArguments& arguments)
{
    auto* monitor = app.add_subcommand("monitor", "Test every link a configuration file lists, at once");
    monitor->footer(
        "CONFIG is a YAML file: \"links:\", a list of links each with a name and a listener (a PORT as in\n"
        "run) and optionally a source, listener-baud, source-baud, match-window, require (TYPE:MIN% or a\n"
        "list of them), max-latency, max-age (seconds), probe (false unless told), nmea, record and events;\n"
        "\"defaults:\" sets "
        "any of these but name, listener and source for every link (record and events there are folders\n"
        "that hold NAME/ and NAME.jsonl per link). A link whose ports fail is tried again every 5 s while\n"
        "the others run. On a terminal one line per link is redrawn every second; otherwise the lines are\n"
        "printed at the end. Exit status: 0 every link passed, 3 a link failed a requirement or never\n"
        "opened, 4 a link's recording or events file lost data, 1 no link could open, 2 a bad CONFIG.");
    monitor->add_option("CONFIG", arguments.configFile, "The configuration file")->required();
    monitor
        ->add_option("--seconds", arguments.options.loop.seconds,
                     "How long the links are tested (default: until Ctrl+C)")
        ->check(CLI::Range(1u, 31u * 86400u));
    monitor->add_flag("--json", arguments.json, "Print one JSON document with every link at the end");
    monitor->add_option("--serve", arguments.options.loop.serve,
                        "Serve an index of the links at \"/\", each link's page at \"/link/NAME/\" and its "
                        "statistics at \"/link/NAME/api/stats\", and \"/metrics\" for every link at ADDR:PORT");
    AddServeRefreshOption(*monitor, arguments.options.loop);
    monitor->add_flag("--dry-run", arguments.dryRun,
                      "Read the configuration and check the arguments, opening no port: 0 when the monitor would "
                      "start, 2 otherwise");
    return monitor;
}

int Monitor(const sMonitorArguments& arguments)
{
    sMonitorOptions options = arguments.options;
    std::string error;
    if (!ReadMonitorConfig(arguments.configFile, options.config, error)) {
        std::cerr << "tolvar: " << error << "\n";
        return kBadArguments;
    }
    if (!CheckTestArguments(options.loop))
        return kBadArguments;
    if (arguments.dryRun)
        return 0;
    CInterruptWait interrupts;
    OnTerminal(options.loop, interrupts, arguments.json);
    const sMonitorResult result = RunMonitor(options, std::cout);
    if (!result.error.empty()) {
        std::cerr << "tolvar: " << result.error << "\n";
        return kCannotOpen;
    }
    if (arguments.json)
        std::cout << web::JsonText(MonitorJson(result), 2) << "\n";
    else
        std::cout << MonitorText(result);
    return MonitorStatus(result);
}

}  // namespace cli
