// tolvar demo: a whole link test on the built-in emulated radio link.
#include "cli/subcommands/demo.h"

#include <iostream>
#include <map>

#include <CLI/CLI.hpp>

#include "core/ascii_case.h"

#include "cli/record_format_option.h"
#include "cli/subcommands/terminal_run.h"

namespace cli {

CLI::App* AddDemoCommand(CLI::App& app, sDemoArguments& arguments)
{
    sDemoOptions& demoOptions = arguments.options;
    auto* demo = app.add_subcommand("demo", "Run a whole link test on the built-in emulated radio link");
    demo->add_option("--seconds", demoOptions.loop.seconds, "How long the generator sends")
        ->check(CLI::Range(1u, 86400u))
        ->capture_default_str();
    demo->add_option_function<std::string>(
            "--traffic",
            [&demoOptions](const std::string& name) {
                demoOptions.traffic = TolvarRT::EqualsIgnoringCase(name, "rtcm3") ? sDemoOptions::Traffic::Rtcm3
                                                                                  : sDemoOptions::Traffic::Cmr;
            },
            "What the Source generates: cmr or rtcm3")
        ->check(CLI::IsMember({"cmr", "rtcm3"}, CLI::ignore_case))
        ->default_str("cmr");
    arguments.cmr.push_back(demo->add_option("--schedule", demoOptions.schedule, "Fake CMR schedule 0..6")
                                ->check(CLI::Range(0u, 6u))
                                ->capture_default_str());
    arguments.cmr.push_back(demo->add_option("--svs", demoOptions.svs, "Simulated satellites")
                                ->check(CLI::Range(1u, 15u))
                                ->capture_default_str());
    arguments.rtcm3 = AddRtcm3GeneratorOptions(*demo, demoOptions.rtcm3);
    demo->add_option("--loss", demoOptions.channel.lossPercent, "Packets dropped, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    demo->add_option("--latency", demoOptions.channel.latencyMs, "Delay of every packet, ms")
        ->check(CLI::Range(0u, 10000u))
        ->capture_default_str();
    demo->add_option("--jitter", demoOptions.channel.jitterMs, "Uniform extra delay up to this, ms")
        ->check(CLI::Range(0u, 10000u))
        ->capture_default_str();
    demo->add_option("--corrupt", demoOptions.channel.corruptPercent, "Packets with one byte changed, percent")
        ->check(CLI::Range(0.0, 100.0))
        ->capture_default_str();
    demo->add_option("--seed", demoOptions.channel.seed, "Seed of the link's randomness")->capture_default_str();
    demo->add_option("--drop", arguments.dropTexts,
                     "Drop every packet from FROM to TO seconds after the start (FROM-TO, e.g. 20-30; repeatable)")
        ->each([&demoOptions](const std::string& text) {
            TolvarRT::sDropWindow window;
            if (!ParseDropWindow(text, window))
                throw CLI::ValidationError("--drop", text + ": expected FROM-TO in seconds, FROM below TO");
            demoOptions.channel.dropWindows.push_back(window);
        });
    AddLinkBpsOption(*demo, demoOptions.loop.linkBps);
    AddMatchWindowOption(*demo, demoOptions.loop.matchWindowS);
    demo->add_flag("--json", demoOptions.json, "Print one JSON document at the end");
    AddServeOption(*demo, demoOptions.loop);
    AddRecordOption(*demo, demoOptions.loop.recordFolder);
    cli::AddRecordFormatOption(*demo, demoOptions.loop.recordRtklib);
    AddEventsOption(*demo, demoOptions.loop.eventsFile);
    AddVerdictOptions(*demo, arguments.verdict);
    AddLogOptions(*demo, demoOptions.logFile, demoOptions.logLevel);
    demo->add_option("--log-pane", demoOptions.paneLevel,
                     "Also queue the log for a log pane at this level (none, basic, most or all), shown by a "
                     "thread of its own as the desktop's pane would be")
        ->transform(CLI::CheckedTransformer(kLogLevels, CLI::ignore_case));
    return demo;
}

int Demo(const sDemoArguments& arguments)
{
    if (!CheckTestArguments(arguments.options.loop))
        return kBadArguments;
    const bool rtcm3 = arguments.options.traffic == sDemoOptions::Traffic::Rtcm3;
    if (AnyGiven(rtcm3 ? arguments.cmr : arguments.rtcm3)) {
        std::cerr << (rtcm3 ? "tolvar: --schedule and --svs set the fake CMR generator: --traffic cmr\n"
                            : "tolvar: --msm, --rate, --gnss and --station set the fake RTCM v3 generator: "
                              "--traffic rtcm3\n");
        return kBadArguments;
    }
    return RunAndReport(arguments.options, arguments.verdict, RunDemo, DemoJson, DemoText);
}

}  // namespace cli
