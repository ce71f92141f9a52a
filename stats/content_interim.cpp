// Every type's ages together, kept here until the stream content collector
// that owns it lands.
#include "stats/content_snapshot.h"

namespace TolvarRT {

CLatencyHistogram sContentSnapshot::AllAges() const
{
    CLatencyHistogram all;
    for (const sAgeFigures& type : ages)
        all.Merge(type.ages);
    return all;
}

}  // namespace TolvarRT
