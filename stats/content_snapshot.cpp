#include "stats/content_snapshot.h"

namespace TolvarRT {

CLatencyHistogram sContentSnapshot::AllAges() const
{
    CLatencyHistogram all;
    for (const sAgeFigures& figures : ages)
        all.Merge(figures.ages);
    return all;
}

}  // namespace TolvarRT
