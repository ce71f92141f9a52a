// A link test run from the terminal: its arguments judged before anything
// is opened, the table redrawn there, Ctrl+C ending it, its figures printed
// and its verdict turned into the exit status.
#pragma once

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/demo_command.h"
#include "cli/interrupt_wait.h"
#include "cli/link_test.h"
#include "cli/run_command.h"
#include "cli/subcommands/exit_status.h"
#include "cli/subcommands/shared_options.h"
#include "cli/verdict.h"
#include "web/json_text.h"

namespace cli {

// A demonstration always has its generator as Source.
inline bool WithSource(const sDemoResult&)
{
    return true;
}
inline bool WithSource(const sRunResult& result)
{
    return result.withSource;
}

// The table redrawn on the terminal unless JSON is asked for or stdout is
// not one, what goes wrong on stderr, Ctrl+C ends it.
void OnTerminal(sTestLoop& loop, CInterruptWait& interrupts, bool json);

// What a test's options name that can be judged before anything is opened:
// the status page's address and the ports (option and port name). False
// with the malformed one named on stderr.
bool CheckTestArguments(const sTestLoop& loop, const std::vector<std::pair<const char*, std::string>>& ports = {});

// Runs a link test and prints its figures. Ctrl+C ends the test early, with
// the figures so far; the progress redraw is for terminals only.
template <typename Options, typename Result>
int RunAndReport(Options options, const sVerdictOptions& verdictOptions,
                 Result (*runTest)(const Options&, std::ostream&), nlohmann::json (*toJson)(const Result&),
                 std::string (*toText)(const Result&))
{
    CInterruptWait interrupts;
    OnTerminal(options.loop, interrupts, options.json);
    const Result result = runTest(options, std::cout);
    if (!result.error.empty()) {
        std::cerr << "tolvar: " << result.error << "\n";
        return kCannotOpen;
    }
    const std::vector<sRequirement> requirements = verdictOptions.Requirements();
    const sVerdict verdict =
        Judge(requirements, result.figures.measured, WithSource(result), &result.figures.listenerContent);
    if (options.json) {
        nlohmann::json json = toJson(result);
        if (!requirements.empty())
            json["verdict"] = VerdictJson(verdict);
        std::cout << web::JsonText(json, 2) << "\n";
    } else {
        std::cout << toText(result);
        if (!requirements.empty())
            std::cout << VerdictLine(verdict);
    }
    if (!verdict.passed)
        return kRequirementFailed;
    if (result.figures.LostData()) {
        std::cerr << "tolvar: the test's log file, recording or events file lost data\n";
        return kDataLost;
    }
    return 0;
}

}  // namespace cli
