#include "stats/link_figures.h"

#include <algorithm>

namespace TolvarRT {

std::vector<sLinkFigures> MeasureLink(const sStatsSnapshot& snapshot, bool linkOver)
{
    std::vector<sLinkFigures> types;
    for (const std::uint32_t key : snapshot.Keys()) {
        sLinkFigures figures;
        figures.key = key;
        figures.name = FrameName(key);
        const PacketStats* record = snapshot.Find(key);
        const PacketStats* source = snapshot.FindSource(key);
        if (record != nullptr) {
            figures.received = record->frames;
            figures.gapRuleLost = record->lost;
            figures.gapRuleLate = record->late;
        }
        // A record not yet synchronised with the source's generation still
        // holds the matches of the one before, whose frames are gone.
        if (record != nullptr && snapshot.hasSource && record->syncGeneration == snapshot.sourceGeneration) {
            figures.matched = record->matched;
            figures.unmatched = record->unmatched;
            figures.late = record->lateArrivals;
            figures.latencySumS = record->transitSum;
            figures.latencyMinS = record->transitMin;
            figures.latencyMaxS = record->transitMax;
            figures.transits = record->transits;
        }
        if (source != nullptr) {
            figures.sent = source->frames;
            figures.inFlight = linkOver ? 0 : snapshot.InFlight(key);
            const std::uint64_t judged = figures.matched + figures.inFlight;
            figures.missed = figures.sent > judged ? figures.sent - judged : 0;
        }
        types.push_back(figures);
    }
    return types;
}

sLinkFigures LinkTotal(const std::vector<sLinkFigures>& types)
{
    sLinkFigures total;
    total.name = "All types";
    for (const sLinkFigures& type : types) {
        if (type.matched != 0) {
            total.latencyMinS = total.matched == 0 ? type.latencyMinS : std::min(total.latencyMinS, type.latencyMinS);
            total.latencyMaxS = total.matched == 0 ? type.latencyMaxS : std::max(total.latencyMaxS, type.latencyMaxS);
        }
        total.sent += type.sent;
        total.received += type.received;
        total.matched += type.matched;
        total.missed += type.missed;
        total.inFlight += type.inFlight;
        total.unmatched += type.unmatched;
        total.late += type.late;
        total.latencySumS += type.latencySumS;
        total.transits.Merge(type.transits);
        total.gapRuleLost += type.gapRuleLost;
        total.gapRuleLate += type.gapRuleLate;
    }
    return total;
}

}  // namespace TolvarRT
