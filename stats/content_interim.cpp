// Until the content collector lands: the definition the Stream Content
// model needs from it. The collector's own replace this file.
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
