#include "cli/in_flight_wait.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace cli {

using TolvarRT::sLinkFigures;

std::chrono::milliseconds InFlightBound(double slowestLatencyS, std::chrono::milliseconds drain,
                                        std::chrono::milliseconds horizon)
{
    const auto slowest = std::chrono::milliseconds(std::llround(std::max(0.0, slowestLatencyS) * 2000.0) + 1000);
    return std::min(std::max(slowest, drain), std::max(horizon, drain));
}

std::vector<sLinkFigures> SettleInFlight(const std::vector<sLinkFigures>& atEnd, const std::vector<sLinkFigures>& after)
{
    std::vector<sLinkFigures> settled;
    for (const sLinkFigures& ended : atEnd) {
        const auto found =
            std::find_if(after.begin(), after.end(), [&](const sLinkFigures& type) { return type.key == ended.key; });
        if (found == after.end()) {
            settled.push_back(ended);
            continue;
        }
        sLinkFigures type = *found;
        const std::uint64_t arrived = type.matched > ended.matched ? type.matched - ended.matched : 0;
        type.sent = ended.sent;
        type.received = ended.received + arrived;
        type.unmatched = ended.unmatched;
        type.gapRuleLost = ended.gapRuleLost;
        type.gapRuleLate = ended.gapRuleLate;
        type.inFlight = 0;
        type.missed = type.sent > type.matched ? type.sent - type.matched : 0;
        settled.push_back(type);
    }
    return settled;
}

std::vector<sLinkFigures> AwaitInFlight(const std::function<std::vector<sLinkFigures>(bool linkOver)>& measure,
                                        const std::vector<sLinkFigures>& atEnd, std::chrono::milliseconds drain,
                                        std::chrono::milliseconds horizon, sInFlightWait& wait)
{
    const sLinkFigures total = TolvarRT::LinkTotal(atEnd);
    wait.atEnd = total.inFlight;
    wait.leftOut = 0;
    wait.bound = InFlightBound(total.matched != 0 ? total.latencyMaxS : 0.0, drain, horizon);
    wait.waited = std::chrono::milliseconds(0);
    if (wait.atEnd == 0)
        return atEnd;
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + wait.bound;
    for (;;) {
        wait.leftOut = TolvarRT::LinkTotal(measure(false)).inFlight;
        const auto now = std::chrono::steady_clock::now();
        wait.waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
        if (wait.leftOut == 0 || now >= deadline)
            break;
        std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(20)));
    }
    return SettleInFlight(atEnd, measure(true));
}

}  // namespace cli
