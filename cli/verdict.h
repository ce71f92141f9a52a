// What a script or a monitoring system needs from a link test: did the link
// do what was required of it. Requirements are judged on the figures
// measured over the whole run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stats/content_snapshot.h"
#include "stats/link_figures.h"

namespace cli {

struct sRequirement {
    enum class eKind { Received, MaxLatency, MaxAge };
    eKind kind = eKind::Received;
    std::string type;  // Received: the frame name as the statistics print it
    // Received: least percent of the sent frames matched; MaxLatency: ms;
    // MaxAge: s.
    double limit = 0.0;
    std::string text;  // as given on the command line
};

// "TYPE:MIN" or "TYPE:MIN%": TYPE a frame name (case is ignored; "All types"
// for the whole run), MIN 0..100. False with a reason otherwise.
bool ParseReceivedRequirement(const std::string& text, sRequirement& requirement, std::string& error);
// The longest transit any matched frame of any type may take, in ms.
sRequirement MaxLatencyRequirement(double ms);
// The oldest corrections any frame of any type may carry on arrival at the
// Listener, in s: judged on the largest age, as latency is on the longest
// transit, and with no Source needed.
sRequirement MaxAgeRequirement(double seconds);

struct sJudgement {
    sRequirement requirement;
    bool passed = false;
    std::optional<double> measured;  // percent, ms or s; none when it could not be judged
    std::string why;                 // "CMR Type 0 received 97.2 % < 99 %", "... never sent", ...
};

struct sVerdict {
    bool passed = true;
    std::vector<sJudgement> judgements;
};

// Judges each requirement on the run's figures; withSource false: nothing
// was matched, so no requirement on matching can be judged. The ages come
// from the Listener's content; none given: no age was measured.
sVerdict Judge(const std::vector<sRequirement>& requirements, const std::vector<TolvarRT::sLinkFigures>& measured,
               bool withSource, const TolvarRT::sContentSnapshot* listenerContent = nullptr);
// "Verdict: PASS (2 requirements)" or "Verdict: FAIL: " and every failure.
std::string VerdictLine(const sVerdict& verdict);
// {"passed": ..., "requirements": [{"requirement", "passed", "measured", "why"}]}
nlohmann::json VerdictJson(const sVerdict& verdict);

}  // namespace cli
