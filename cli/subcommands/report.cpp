// tolvar report: an events file written with --events, summarised and drawn.
#include "cli/subcommands/report.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "cli/events_report.h"
#include "cli/latency_svg.h"
#include "cli/subcommands/exit_status.h"
#include "web/json_text.h"

namespace cli {

CLI::App* AddReportCommand(CLI::App& app, sReportArguments& arguments)
{
    auto* report = app.add_subcommand("report", "Summarise an events file written with --events, and draw it");
    report->add_option("EVENTS", arguments.eventsFile, "The events file")->required();
    report->add_option("--svg", arguments.svgFile,
                       "Draw the latency of every matched frame over the test, per type, with the outages as "
                       "shaded bands, to this SVG file");
    report->add_flag("--json", arguments.json, "Print one JSON document");
    return report;
}

int Report(const sReportArguments& arguments)
{
    const std::string& eventsFile = arguments.eventsFile;
    const std::string& svgFile = arguments.svgFile;
    std::ifstream in(eventsFile);
    if (!in) {
        std::cerr << "tolvar: cannot read " << eventsFile << ": " << std::strerror(errno) << "\n";
        return kCannotOpen;
    }
    const sEventsReport report = ReadEventsReport(in);
    if (in.bad()) {
        std::cerr << "tolvar: cannot read " << eventsFile << ": " << std::strerror(errno) << "\n";
        return kCannotOpen;
    }
    // Not an events file, or an empty one: no summary to make.
    if (report.events == 0) {
        std::cerr << "tolvar: " << eventsFile << " holds no event\n";
        return kCannotOpen;
    }
    if (!svgFile.empty()) {
        std::ofstream svg(svgFile);
        const std::string since = report.firstUtc.empty() ? std::string() : ", from " + report.firstUtc;
        svg << LatencySvg(report, "Latency per frame type: " + eventsFile + since);
        svg.close();
        if (!svg) {
            std::cerr << "tolvar: cannot write " << svgFile << ": " << std::strerror(errno) << "\n";
            return kCannotOpen;
        }
    }
    if (arguments.json)
        std::cout << web::JsonText(EventsReportJson(report), 2) << "\n";
    else
        std::cout << EventsReportText(report);
    return 0;
}

}  // namespace cli
