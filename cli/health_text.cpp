#include "cli/health_text.h"

#include "core/string_format.h"

namespace cli {

std::string HealthCountsLine(const char* side, const TolvarRT::sHealthCounts& counts)
{
    return TolvarRT::StringPrintf(
        "  %s: %llu outages of frame types, %llu of the whole link (%.1f s); corrupted %llu times (%.1f s), %llu "
        "bytes rejected\n",
        side, (unsigned long long)counts.typeOutages, (unsigned long long)counts.linkOutages, counts.outageSeconds,
        (unsigned long long)counts.corruptedSpells, counts.corruptedSeconds, (unsigned long long)counts.rejectedBytes);
}

nlohmann::json HealthCountsJson(const TolvarRT::sHealthCounts& counts)
{
    return {{"typeOutages", counts.typeOutages},           {"linkOutages", counts.linkOutages},
            {"outageSeconds", counts.outageSeconds},       {"corruptedSpells", counts.corruptedSpells},
            {"corruptedSeconds", counts.corruptedSeconds}, {"rejectedBytes", counts.rejectedBytes}};
}

}  // namespace cli
