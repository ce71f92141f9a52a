// The latency the demonstration measures against the delays the emulated
// link put on its packets: only an unloaded machine with a plain build keeps
// the reader threads close enough to the link's own clock for this bound.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/demo_command.h"
#include "stats/link_figures.h"

namespace {

TEST(DemoLatencyTest, TheMeanMeasuredLatencyIsTheLinksMeanDelay)
{
    cli::sDemoOptions options;
    options.loop.seconds = 4;
    options.schedule = 0;
    options.channel.seed = 7;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    ASSERT_GT(total.matched, 10u);
    EXPECT_NEAR(total.LatencyMeanS() * 1000.0, result.account.MeanDelayMs(), 3.0);
}

}  // namespace
