#include "stats/latency_histogram.h"

#include <algorithm>
#include <cmath>

namespace TolvarRT {
namespace {

const double kLogRatio = std::log(CLatencyHistogram::kBucketRatio);

}  // namespace

// Bucket 0 holds everything under the lowest bound (negative transits of
// clocks read on different threads included), the last everything above the
// highest; bucket i in between holds [lowest * ratio^(i-1), lowest * ratio^i).
unsigned CLatencyHistogram::BucketOf(double seconds)
{
    if (!(seconds >= kLowestS))
        return 0;
    if (seconds >= kHighestS)
        return kBuckets - 1;
    const double place = std::floor(std::log(seconds / kLowestS) / kLogRatio) + 1.0;
    return unsigned(std::min(place, double(kBuckets - 1)));
}

double CLatencyHistogram::BucketMiddle(unsigned bucket)
{
    if (bucket == 0)
        return kLowestS;
    return kLowestS * std::exp((double(bucket) - 0.5) * kLogRatio);
}

void CLatencyHistogram::Add(double seconds)
{
    minS = count == 0 ? seconds : std::min(minS, seconds);
    maxS = count == 0 ? seconds : std::max(maxS, seconds);
    ++count;
    sumSquares += seconds * seconds;
    sumS += seconds;
    const auto bound = std::lower_bound(kCoarseBoundsS.begin(), kCoarseBoundsS.end(), seconds);
    if (bound != kCoarseBoundsS.end())
        ++coarse[std::size_t(bound - kCoarseBoundsS.begin())];
    std::uint32_t& bucket = buckets[BucketOf(seconds)];
    if (bucket != UINT32_MAX)
        ++bucket;
}

void CLatencyHistogram::Merge(const CLatencyHistogram& other)
{
    if (other.count == 0)
        return;
    minS = count == 0 ? other.minS : std::min(minS, other.minS);
    maxS = count == 0 ? other.maxS : std::max(maxS, other.maxS);
    count += other.count;
    sumSquares += other.sumSquares;
    sumS += other.sumS;
    for (std::size_t i = 0; i < coarse.size(); ++i)
        coarse[i] += other.coarse[i];
    for (unsigned i = 0; i < kBuckets; ++i)
        buckets[i] = std::uint32_t(std::min<std::uint64_t>(UINT32_MAX, std::uint64_t(buckets[i]) + other.buckets[i]));
}

double CLatencyHistogram::Quantile(double fraction) const
{
    if (count == 0)
        return 0.0;
    const auto rank = std::uint64_t(std::max(1.0, std::ceil(std::clamp(fraction, 0.0, 1.0) * double(count))));
    std::uint64_t seen = 0;
    for (unsigned i = 0; i < kBuckets; ++i) {
        seen += buckets[i];
        if (seen < rank)
            continue;
        // The end buckets have no middle: their samples are beyond the bounds.
        if (i == 0)
            return minS;
        if (i == kBuckets - 1)
            return maxS;
        return std::clamp(BucketMiddle(i), minS, maxS);
    }
    return maxS;
}

std::uint64_t CLatencyHistogram::CountAtOrBelow(std::size_t bound) const
{
    std::uint64_t below = 0;
    for (std::size_t i = 0; i <= bound && i < coarse.size(); ++i)
        below += coarse[i];
    return below;
}

sLatencyDistribution CLatencyHistogram::Distribution() const
{
    sLatencyDistribution distribution;
    distribution.count = count;
    if (count == 0)
        return distribution;
    distribution.minS = minS;
    distribution.medianS = Quantile(0.5);
    distribution.p95S = Quantile(0.95);
    distribution.maxS = maxS;
    distribution.rmsS = std::sqrt(sumSquares / double(count));
    return distribution;
}

}  // namespace TolvarRT
