// Until the content collector lands: the two definitions the Stream Content
// model needs from it. The collector's own replace this file.
#include "decoders/frame_content.h"
#include "stats/content_snapshot.h"

namespace TolvarRT {

const char* GnssName(Gnss gnss)
{
    static const char* const names[kGnssCount] = {"", "GPS", "GLONASS", "Galileo", "SBAS", "QZSS", "BeiDou", "NavIC"};
    return unsigned(gnss) < kGnssCount ? names[unsigned(gnss)] : "";
}

CLatencyHistogram sContentSnapshot::AllAges() const
{
    CLatencyHistogram all;
    for (const sAgeFigures& type : ages)
        all.Merge(type.ages);
    return all;
}

}  // namespace TolvarRT
