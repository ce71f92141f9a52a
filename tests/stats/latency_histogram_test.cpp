// The latency histogram against exact figures of known samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "stats/latency_histogram.h"

namespace TolvarRT {
namespace {

// The smallest sample with at least the fraction of the samples at or below it.
double ExactQuantile(std::vector<double> samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    const auto rank = std::size_t(std::max(1.0, std::ceil(fraction * double(samples.size()))));
    return samples[rank - 1];
}

TEST(LatencyHistogramTest, QuantilesStayWithinOnePercentAcrossTheRangeAndTheRestIsExact)
{
    // Log-uniform from 0.2 ms to 50 s: every decade of the range is used.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> exponent(std::log(2e-4), std::log(50.0));
    std::vector<double> samples;
    CLatencyHistogram histogram;
    double sumSquares = 0.0;
    for (int i = 0; i < 20000; ++i) {
        const double sample = std::exp(exponent(random));
        samples.push_back(sample);
        histogram.Add(sample);
        sumSquares += sample * sample;
    }
    for (const double fraction : {0.01, 0.1, 0.25, 0.5, 0.75, 0.9, 0.95, 0.99}) {
        const double exact = ExactQuantile(samples, fraction);
        EXPECT_NEAR(histogram.Quantile(fraction), exact, exact * 0.01) << fraction;
    }
    const sLatencyDistribution d = histogram.Distribution();
    EXPECT_EQ(d.count, samples.size());
    EXPECT_EQ(d.minS, *std::min_element(samples.begin(), samples.end()));
    EXPECT_EQ(d.maxS, *std::max_element(samples.begin(), samples.end()));
    EXPECT_DOUBLE_EQ(d.rmsS, std::sqrt(sumSquares / double(samples.size())));
    EXPECT_NEAR(d.medianS, ExactQuantile(samples, 0.5), ExactQuantile(samples, 0.5) * 0.01);
}

TEST(LatencyHistogramTest, OutOfRangeSamplesAndTheEmptyHistogramGiveSoundFigures)
{
    CLatencyHistogram histogram;
    EXPECT_EQ(histogram.Distribution().count, 0u);
    EXPECT_EQ(histogram.Quantile(0.5), 0.0);

    // One sample: every figure is that sample, whatever its bucket.
    histogram.Add(0.0875);
    const sLatencyDistribution one = histogram.Distribution();
    EXPECT_EQ(one.minS, 0.0875);
    EXPECT_EQ(one.medianS, 0.0875) << "clamped to the exact extremes";
    EXPECT_EQ(one.p95S, 0.0875);
    EXPECT_DOUBLE_EQ(one.rmsS, 0.0875);

    // Below and above the bounds: kept in the end buckets, the extremes exact.
    histogram.Clear();
    histogram.Add(-0.002);  // clocks of two threads a hair apart
    histogram.Add(250.0);
    histogram.Add(250.0);
    EXPECT_EQ(histogram.Quantile(0.0), -0.002);
    EXPECT_EQ(histogram.Quantile(0.5), 250.0);
    EXPECT_EQ(histogram.Distribution().maxS, 250.0);
}

TEST(LatencyHistogramTest, MergingGivesWhatAddingEverySampleToOneGives)
{
    CLatencyHistogram first, second, all;
    for (int i = 1; i <= 300; ++i) {
        const double sample = 0.08 + 0.0001 * i;
        (i % 3 == 0 ? first : second).Add(sample);
        all.Add(sample);
    }
    CLatencyHistogram empty;
    first.Merge(second);
    first.Merge(empty);
    const sLatencyDistribution merged = first.Distribution();
    const sLatencyDistribution expected = all.Distribution();
    EXPECT_EQ(merged.count, expected.count);
    EXPECT_EQ(merged.minS, expected.minS);
    EXPECT_EQ(merged.maxS, expected.maxS);
    EXPECT_EQ(merged.medianS, expected.medianS);
    EXPECT_EQ(merged.p95S, expected.p95S);
    EXPECT_DOUBLE_EQ(merged.rmsS, expected.rmsS);
    empty.Merge(all);
    EXPECT_EQ(empty.Distribution().minS, expected.minS) << "an empty histogram takes the other's extremes";
}

}  // namespace
}  // namespace TolvarRT
