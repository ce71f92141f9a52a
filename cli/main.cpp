// The tolvar command: link tests without windows, and offline decoding of
// capture files. Each subcommand's options and what it does with them are in
// cli/subcommands/, one file each; the exit statuses in exit_status.h there.
#include <CLI/CLI.hpp>

#include "cli/console.h"
#include "cli/subcommands/decode.h"
#include "cli/subcommands/demo.h"
#include "cli/subcommands/exit_status.h"
#include "cli/subcommands/monitor.h"
#include "cli/subcommands/ports.h"
#include "cli/subcommands/report.h"
#include "cli/subcommands/run.h"

int main(int argc, char** argv)
{
    cli::UseBinaryStandardStreams();
    CLI::App app{"Tolvar Test Suite: tests of radio links carrying GNSS corrections", "tolvar"};
    app.require_subcommand(1);

    cli::sDecodeArguments decodeArguments;
    auto* decode = cli::AddDecodeCommand(app, decodeArguments);
    auto* ports = cli::AddPortsCommand(app);
    cli::sDemoArguments demoArguments;
    auto* demo = cli::AddDemoCommand(app, demoArguments);
    cli::sRunArguments runArguments;
    auto* run = cli::AddRunCommand(app, runArguments);
    cli::sMonitorArguments monitorArguments;
    auto* monitor = cli::AddMonitorCommand(app, monitorArguments);
    cli::sReportArguments reportArguments;
    auto* report = cli::AddReportCommand(app, reportArguments);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return cli::kBadArguments;
    }
    if (decode->parsed())
        return cli::Decode(decodeArguments);
    if (ports->parsed())
        return cli::Ports();
    if (demo->parsed())
        return cli::Demo(demoArguments);
    if (run->parsed())
        return cli::Run(runArguments);
    if (monitor->parsed())
        return cli::Monitor(monitorArguments);
    if (report->parsed())
        return cli::Report(reportArguments);
    return cli::kBadArguments;
}
