// A latency distribution in fixed memory: geometric buckets from 0.1 ms to
// 100 s, each 2 % wide, so that a percentile read from a bucket's middle is
// within 1 % of a sample in it; minimum, maximum and root mean square are
// kept exactly. Runs of hours cost no more than runs of seconds.
#pragma once

#include <array>
#include <cstdint>

namespace TolvarRT {

struct sLatencyDistribution {
    std::uint64_t count = 0;  // the figures below are 0 when it is 0
    double minS = 0.0;
    double medianS = 0.0;
    double p95S = 0.0;
    double maxS = 0.0;
    double rmsS = 0.0;
};

class CLatencyHistogram {
public:
    static constexpr double kLowestS = 1e-4;
    static constexpr double kHighestS = 100.0;
    static constexpr double kBucketRatio = 1.02;
    // Buckets between the bounds, plus one below and one above.
    static constexpr unsigned kBuckets = 700;

    // Bounds of the coarse buckets monitoring systems expect (a sample is in
    // the first whose bound it does not exceed): counted exactly, since the
    // fine buckets' edges fall between them.
    static constexpr std::array<double, 11> kCoarseBoundsS{0.01, 0.025, 0.05, 0.1,  0.25, 0.5,
                                                           1.0,  2.5,   5.0,  10.0, 30.0};

    void Add(double seconds);
    void Merge(const CLatencyHistogram& other);
    void Clear() { *this = CLatencyHistogram(); }

    std::uint64_t Count() const { return count; }
    // The smallest sample with at least the fraction of the samples at or
    // below it (0.5: the median), from its bucket's middle and clamped to the
    // exact minimum and maximum.
    double Quantile(double fraction) const;
    // Samples at or below kCoarseBoundsS[bound].
    std::uint64_t CountAtOrBelow(std::size_t bound) const;
    double SumS() const { return sumS; }
    sLatencyDistribution Distribution() const;

private:
    static unsigned BucketOf(double seconds);
    static double BucketMiddle(unsigned bucket);

    std::array<std::uint32_t, kBuckets> buckets{};
    std::uint64_t count = 0;
    double minS = 0.0;
    double maxS = 0.0;
    double sumSquares = 0.0;
    double sumS = 0.0;
    std::array<std::uint64_t, kCoarseBoundsS.size()> coarse{};  // per bound, not cumulative
};

}  // namespace TolvarRT
