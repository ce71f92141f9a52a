// The content figures' small helpers, kept here until the stream content
// collector that owns them lands.
#include "stats/content_snapshot.h"

namespace TolvarRT {

const char* GnssName(Gnss gnss)
{
    static const char* const kNames[kGnssCount] = {"", "GPS", "GLONASS", "Galileo", "SBAS", "QZSS", "BeiDou", "NavIC"};
    return unsigned(gnss) < kGnssCount ? kNames[unsigned(gnss)] : "";
}

CLatencyHistogram sContentSnapshot::AllAges() const
{
    CLatencyHistogram all;
    for (const sAgeFigures& type : ages)
        all.Merge(type.ages);
    return all;
}

}  // namespace TolvarRT
