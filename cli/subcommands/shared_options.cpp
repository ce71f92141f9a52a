// The options more than one subcommand takes, worded once.
#include "cli/subcommands/shared_options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>

#include "app/tolvar_test_suite_doc.h"

namespace cli {

std::vector<sRequirement> sVerdictOptions::Requirements() const
{
    std::vector<sRequirement> requirements;
    for (const std::string& text : received) {
        std::string error;
        requirements.emplace_back();
        ParseReceivedRequirement(text, requirements.back(), error);
    }
    if (maxLatencyMs >= 0.0)
        requirements.push_back(MaxLatencyRequirement(maxLatencyMs));
    if (maxAgeS >= 0.0)
        requirements.push_back(MaxAgeRequirement(maxAgeS));
    return requirements;
}

namespace {

// CLI11's own check names its range as 0 to the largest double, all 309 digits.
CLI::Validator NonNegative(const std::string& unit)
{
    return CLI::Validator(
        [unit](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0.0)
                return "\"" + text + "\" is not a number of " + unit + ", 0 or more";
            return {};
        },
        "NUMBER");
}

}  // namespace

const std::map<std::string, unsigned> kParities = {{"N", 0}, {"O", 1}, {"E", 2}};
const std::map<std::string, int> kLogLevels = {{"none", 0}, {"basic", 1}, {"most", 2}, {"all", 3}};

void AddRecordOption(CLI::App& command, std::string& folder)
{
    command.add_option("--record", folder,
                       "Record each side's raw bytes and the arrival time of every chunk in DIR (listener.raw, "
                       "listener.tags, source.raw, source.tags), for a replay through FILE:DIR/listener.raw");
}

void AddLinkBpsOption(CLI::App& command, unsigned& linkBps)
{
    command
        .add_option("--link-bps", linkBps,
                    "The radio's bit rate: show the share of it the corrections take (10 bits a byte), with a "
                    "warning above 80 %")
        ->check(CLI::PositiveNumber);
}

void AddMatchWindowOption(CLI::App& command, double& seconds)
{
    command
        .add_option("--match-window", seconds,
                    "SECONDS: how long after it was sent a frame may still arrive and be matched; older ones count "
                    "as missed")
        ->capture_default_str()
        ->check(CLI::Range(0.1, double(CTolvarTestSuiteDoc::kMaxMatchWindowS)));
}

void AddServeRefreshOption(CLI::App& command, sTestLoop& loop)
{
    command
        .add_option("--serve-refresh", loop.serveRefresh,
                    "SECONDS after which a browser reloads a served status page (default: the page's own, 60)")
        ->check(CLI::Range(1, 3600));
}

void AddServeOption(CLI::App& command, sTestLoop& loop)
{
    command.add_option("--serve", loop.serve,
                       "Serve the status page, \"/\" and \"/api/stats\" at ADDR:PORT while the test runs (127.0.0.1 "
                       "unless told otherwise)");
    AddServeRefreshOption(command, loop);
}

void AddEventsOption(CLI::App& command, std::string& file)
{
    command.add_option("--events", file,
                       "Write one JSON line per frame counted on either side and per outage or run of corruption "
                       "to FILE, for `tolvar report`");
}

void AddVerdictOptions(CLI::App& command, sVerdictOptions& options)
{
    const CLI::Validator requirement(
        [](std::string& text) {
            sRequirement parsed;
            std::string error;
            return ParseReceivedRequirement(text, parsed, error) ? std::string() : error;
        },
        "TYPE:MIN%");
    command
        .add_option("--require", options.received,
                    "TYPE:MIN%: at least MIN percent of the frames of TYPE the Source sent were received and "
                    "matched over the run (TYPE as the statistics name it, any case; \"All types\" for the "
                    "whole run); repeatable. The command exits 3 when a requirement fails")
        ->allow_extra_args(false)
        ->check(requirement);
    command
        .add_option("--max-latency", options.maxLatencyMs,
                    "MS: no matched frame of any type took longer than this over the run; exits 3 otherwise")
        ->check(NonNegative("milliseconds"));
    command
        .add_option("--max-age", options.maxAgeS,
                    "SECONDS: no frame reached the Listener with corrections older than this (arrival minus the "
                    "frame's own epoch time; no Source needed); exits 3 otherwise")
        ->check(NonNegative("seconds"));
}

void AddLogOptions(CLI::App& command, std::string& file, int& level)
{
    auto* log = command.add_option("--log", file, "Write the log to this file");
    command.add_option("--log-level", level, "What the log file takes: none, basic, most or all")
        ->transform(CLI::CheckedTransformer(kLogLevels, CLI::ignore_case))
        ->needs(log);
}

std::vector<CLI::Option*> AddRtcm3GeneratorOptions(CLI::App& command, TolvarRT::sRTCM3SimSettings& settings)
{
    std::vector<CLI::Option*> options;
    options.push_back(command.add_option("--msm", settings.msm, "Fake RTCM v3 observations: MSM4 or MSM7")
                          ->check(CLI::IsMember({4u, 7u}))
                          ->capture_default_str());
    options.push_back(command.add_option("--rate", settings.epochsPerSecond, "Fake RTCM v3 epochs a second")
                          ->check(CLI::IsMember({1u, 2u, 5u, 10u, 20u}))
                          ->capture_default_str());
    options.push_back(
        command
            .add_option_function<std::string>(
                "--gnss",
                [&settings](const std::string& text) {
                    std::string error;
                    if (!TolvarRT::ParseSimSatellites(text, settings.satellites, error))
                        throw CLI::ValidationError("--gnss", error);
                    if (!TolvarRT::CheckRTCM3SimSettings(settings, error))
                        throw CLI::ValidationError("--gnss", error);
                },
                "Fake RTCM v3 satellites per GNSS: G (GPS), R (GLONASS), E (Galileo), C (BeiDou) and a count, "
                "two signals each")
            ->default_str(TolvarRT::SimSatellitesText(settings.satellites)));
    options.push_back(command.add_option("--station", settings.stationId, "Fake RTCM v3 reference station id")
                          ->check(CLI::Range(0, 4095))
                          ->capture_default_str());
    return options;
}

bool AnyGiven(const std::vector<CLI::Option*>& options)
{
    for (const CLI::Option* option : options)
        if (option->count() > 0)
            return true;
    return false;
}

}  // namespace cli
