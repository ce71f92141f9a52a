// The options more than one subcommand takes, worded once.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/link_test.h"
#include "cli/verdict.h"
#include "sim/rtcm3_message_builder.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace cli {

// --require, --max-latency and --max-age as given; checked as they are parsed.
struct sVerdictOptions {
    std::vector<std::string> received;
    double maxLatencyMs = -1.0;  // negative: not asked
    double maxAgeS = -1.0;       // negative: not asked

    std::vector<sRequirement> Requirements() const;
};

extern const std::map<std::string, unsigned> kParities;
extern const std::map<std::string, int> kLogLevels;

void AddRecordOption(CLI::App& command, std::string& folder);
void AddLinkBpsOption(CLI::App& command, unsigned& linkBps);
void AddMatchWindowOption(CLI::App& command, double& seconds);
void AddServeOption(CLI::App& command, sTestLoop& loop);
// The status page's reload period, for commands that add --serve themselves.
void AddServeRefreshOption(CLI::App& command, sTestLoop& loop);
void AddEventsOption(CLI::App& command, std::string& file);
void AddVerdictOptions(CLI::App& command, sVerdictOptions& options);
void AddLogOptions(CLI::App& command, std::string& file, int& level);
// The fake RTCM v3 generator's --msm, --rate, --gnss and --station; the
// options made, to tell whether any was given.
std::vector<CLI::Option*> AddRtcm3GeneratorOptions(CLI::App& command, TolvarRT::sRTCM3SimSettings& settings);
bool AnyGiven(const std::vector<CLI::Option*>& options);

}  // namespace cli
