// The latency the demonstration measures against the delays the emulated
// link put on its packets: only an unloaded machine with a plain build keeps
// the reader threads close enough to the link's own clock for this bound.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/demo_command.h"
#include "stats/link_figures.h"

namespace {

// Schedule 0 (six packets a second) for the seconds given on a link with
// seed 7; the whole run's figures.
TolvarRT::sLinkFigures DemoTotal(unsigned seconds, cli::sDemoOptions options, cli::sDemoResult& result)
{
    options.loop.seconds = seconds;
    options.schedule = 0;
    options.channel.seed = 7;
    std::ostringstream progress;
    result = cli::RunDemo(options, progress);
    EXPECT_TRUE(result.error.empty()) << result.error;
    return TolvarRT::LinkTotal(result.figures.measured);
}

TEST(DemoLatencyTest, TheMeanMeasuredLatencyIsTheLinksMeanDelay)
{
    cli::sDemoResult result;
    const TolvarRT::sLinkFigures total = DemoTotal(4, {}, result);
    ASSERT_GT(total.matched, 10u);
    EXPECT_NEAR(total.LatencyMeanS() * 1000.0, result.account.MeanDelayMs(), 3.0);
}

// The link delays each packet by its latency plus a uniform share of the
// jitter: the median comes near latency + jitter / 2, the 95th percentile
// near latency + 0.95 jitter. Packets that follow another at once may wait
// for it (a radio keeps the order), which pulls the median up a little.
TEST(DemoLatencyTest, ThePercentilesFollowTheLinksUniformJitter)
{
    cli::sDemoOptions options;
    options.channel.lossPercent = 0;
    options.channel.latencyMs = 100;
    options.channel.jitterMs = 40;
    cli::sDemoResult result;
    const TolvarRT::sLinkFigures total = DemoTotal(10, options, result);
    ASSERT_GT(total.matched, 50u);
    const TolvarRT::sLatencyDistribution d = total.transits.Distribution();
    EXPECT_EQ(d.count, total.matched);
    EXPECT_NEAR(d.medianS * 1000.0, 120.0, 8.0);
    EXPECT_NEAR(d.p95S * 1000.0, 138.0, 5.0);
    // The maximum is one late reader thread away: only the floor is the link's.
    EXPECT_GE(d.minS * 1000.0, 99.0);
    EXPECT_NEAR(d.rmsS, total.LatencyMeanS(), 0.01) << "a narrow spread: RMS close to the mean";
}

}  // namespace
