#include "cli/verdict.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "core/string_format.h"

namespace cli {
namespace {

using TolvarRT::sLinkFigures;
using TolvarRT::StringPrintf;

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

sJudgement Unjudged(const sRequirement& requirement)
{
    sJudgement judgement;
    judgement.requirement = requirement;
    return judgement;
}

const sLinkFigures* FindType(const std::vector<sLinkFigures>& types, const sLinkFigures& total, const std::string& name)
{
    const std::string wanted = Lowered(name);
    if (Lowered(total.name) == wanted)
        return &total;
    for (const sLinkFigures& type : types)
        if (Lowered(type.name) == wanted)
            return &type;
    return nullptr;
}

sJudgement JudgeReceived(const sRequirement& requirement, const std::vector<sLinkFigures>& types,
                         const sLinkFigures& total)
{
    sJudgement judgement = Unjudged(requirement);
    const sLinkFigures* figures = FindType(types, total, requirement.type);
    if (figures == nullptr || figures->sent == 0) {
        judgement.why = requirement.type + " never sent";
        return judgement;
    }
    const double percent = 100.0 * double(figures->matched) / double(figures->sent);
    judgement.measured = percent;
    judgement.passed = percent >= requirement.limit;
    judgement.why = StringPrintf("%s received %.1f %% %s %g %%", figures->name.c_str(), percent,
                                 judgement.passed ? ">=" : "<", requirement.limit);
    return judgement;
}

sJudgement JudgeMaxLatency(const sRequirement& requirement, const sLinkFigures& total)
{
    sJudgement judgement = Unjudged(requirement);
    if (total.matched == 0) {
        judgement.why = "no frame matched: no latency";
        return judgement;
    }
    const double ms = total.latencyMaxS * 1000.0;
    judgement.measured = ms;
    judgement.passed = ms <= requirement.limit;
    judgement.why = StringPrintf("latency max %.1f ms %s %g ms", ms, judgement.passed ? "<=" : ">", requirement.limit);
    return judgement;
}

sJudgement JudgeMaxAge(const sRequirement& requirement, const TolvarRT::sContentSnapshot* content)
{
    sJudgement judgement = Unjudged(requirement);
    const TolvarRT::CLatencyHistogram ages = content != nullptr ? content->AllAges() : TolvarRT::CLatencyHistogram();
    if (ages.Count() == 0) {
        const bool reason = content != nullptr && !content->clock.noAgesReason.empty();
        judgement.why = "no age of corrections: " +
                        (reason ? content->clock.noAgesReason : std::string("no frame carried an epoch"));
        return judgement;
    }
    const double seconds = ages.Distribution().maxS;
    judgement.measured = seconds;
    judgement.passed = seconds <= requirement.limit;
    judgement.why = StringPrintf("age max %.3f s %s %g s", seconds, judgement.passed ? "<=" : ">", requirement.limit);
    return judgement;
}

}  // namespace

bool ParseReceivedRequirement(const std::string& text, sRequirement& requirement, std::string& error)
{
    // Frame names hold no colon, but the last one is taken all the same.
    const std::size_t colon = text.rfind(':');
    const std::string type = colon == std::string::npos ? std::string() : Trimmed(text.substr(0, colon));
    std::string figure = colon == std::string::npos ? std::string() : Trimmed(text.substr(colon + 1));
    if (!figure.empty() && figure.back() == '%')
        figure = Trimmed(figure.substr(0, figure.size() - 1));
    char* end = nullptr;
    const double limit = figure.empty() ? NAN : std::strtod(figure.c_str(), &end);
    if (type.empty() || std::isnan(limit) || end == nullptr || *end != '\0' || limit < 0.0 || limit > 100.0) {
        error = "--require " + text + ": expected TYPE:MIN%, MIN a percentage 0..100 (e.g. \"CMR Type 0:99\")";
        return false;
    }
    requirement = {sRequirement::eKind::Received, type, limit, text};
    return true;
}

sRequirement MaxLatencyRequirement(double ms)
{
    return {sRequirement::eKind::MaxLatency, {}, ms, StringPrintf("--max-latency %g", ms)};
}

sRequirement MaxAgeRequirement(double seconds)
{
    return {sRequirement::eKind::MaxAge, {}, seconds, StringPrintf("--max-age %g", seconds)};
}

sVerdict Judge(const std::vector<sRequirement>& requirements, const std::vector<sLinkFigures>& measured,
               bool withSource, const TolvarRT::sContentSnapshot* listenerContent)
{
    sVerdict verdict;
    const sLinkFigures total = TolvarRT::LinkTotal(measured);
    for (const sRequirement& requirement : requirements) {
        sJudgement judgement = Unjudged(requirement);
        // The frames' own epochs give their age: no Source is needed.
        if (requirement.kind == sRequirement::eKind::MaxAge)
            judgement = JudgeMaxAge(requirement, listenerContent);
        else if (!withSource)
            judgement.why = requirement.text + ": no Source, nothing was matched";
        else if (requirement.kind == sRequirement::eKind::Received)
            judgement = JudgeReceived(requirement, measured, total);
        else
            judgement = JudgeMaxLatency(requirement, total);
        verdict.passed = verdict.passed && judgement.passed;
        verdict.judgements.push_back(judgement);
    }
    return verdict;
}

std::string VerdictLine(const sVerdict& verdict)
{
    if (verdict.passed) {
        const std::size_t count = verdict.judgements.size();
        return StringPrintf("Verdict: PASS (%zu requirement%s)\n", count, count == 1 ? "" : "s");
    }
    std::string line = "Verdict: FAIL";
    const char* separator = ": ";
    for (const sJudgement& judgement : verdict.judgements) {
        if (judgement.passed)
            continue;
        line += separator + judgement.why;
        separator = "; ";
    }
    return line + "\n";
}

nlohmann::json VerdictJson(const sVerdict& verdict)
{
    nlohmann::json requirements = nlohmann::json::array();
    for (const sJudgement& judgement : verdict.judgements) {
        const sRequirement::eKind kind = judgement.requirement.kind;
        const bool received = kind == sRequirement::eKind::Received;
        const bool age = kind == sRequirement::eKind::MaxAge;
        nlohmann::json entry = {{"requirement", judgement.requirement.text},
                                {"kind", received ? "received"
                                         : age    ? "maxAge"
                                                  : "maxLatency"},
                                {"limit", judgement.requirement.limit},
                                {"unit", received ? "%"
                                         : age    ? "s"
                                                  : "ms"},
                                {"passed", judgement.passed},
                                {"measured", nullptr},
                                {"why", judgement.why}};
        if (received)
            entry["type"] = judgement.requirement.type;
        if (judgement.measured)
            entry["measured"] = *judgement.measured;
        requirements.push_back(entry);
    }
    return {{"passed", verdict.passed}, {"requirements", requirements}};
}

}  // namespace cli
