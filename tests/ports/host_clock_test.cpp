// The host clock's state: how each answer of the kernel reads, and that the
// live reading is whole. The same file runs in the Windows suite, where the
// state is never known.
#include <gtest/gtest.h>

#include <cmath>

#include "ports/platform/host_clock.h"

#ifndef _WIN32
#include <sys/timex.h>

#include "case_name.h"
#endif

namespace TolvarRT {
namespace {

#ifndef _WIN32

struct sKernelCase {
    const char* what;
    int result;
    int status;
    long estimatedErrorUs;
    long maximumErrorUs;
    sHostClockState expected;
};

class HostClockKernelTest : public ::testing::TestWithParam<sKernelCase> {};

TEST_P(HostClockKernelTest, ReadsTheKernelsAnswer)
{
    const sKernelCase& c = GetParam();
    const sHostClockState state = HostClockStateFromKernel(c.result, c.status, c.estimatedErrorUs, c.maximumErrorUs);
    EXPECT_EQ(state.known, c.expected.known);
    EXPECT_EQ(state.synchronised, c.expected.synchronised);
    EXPECT_DOUBLE_EQ(state.estimatedErrorS, c.expected.estimatedErrorS);
    EXPECT_DOUBLE_EQ(state.maximumErrorS, c.expected.maximumErrorS);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostClockKernelTest,
    ::testing::Values(
        sKernelCase{"synchronised", TIME_OK, STA_PLL, 250, 1500, {true, true, 0.00025, 0.0015}},
        // A leap second announced is still a synchronised clock.
        sKernelCase{"leap second ahead", TIME_INS, STA_PLL | STA_INS, 100, 2000, {true, true, 0.0001, 0.002}},
        // The daemon never set the clock: the kernel's maximum error has grown to its limit.
        sKernelCase{"flagged unsynchronised", TIME_ERROR, STA_UNSYNC, 0, 16000000, {true, false, 0.0, 16.0}},
        sKernelCase{"unsynchronised bit only", TIME_OK, STA_UNSYNC | STA_PLL, 500, 3000, {true, false, 0.0005, 0.003}},
        sKernelCase{"time error only", TIME_ERROR, STA_PLL, 500, 3000, {true, false, 0.0005, 0.003}},
        sKernelCase{"negative errors read as none", TIME_OK, 0, -1, -1, {true, true, 0.0, 0.0}},
        sKernelCase{"no answer", -1, 0, 5, 5, {false, false, 0.0, 0.0}}),
    testing::CaseName<sKernelCase>);

TEST(HostClockTest, TheKernelAlwaysAnswers)
{
    // Reading needs no privilege: a call with mode bits set would be refused
    // (or, with the privilege, would change the clock).
    const sHostClockState state = ReadHostClockState();
    EXPECT_TRUE(state.known);
    EXPECT_TRUE(std::isfinite(state.estimatedErrorS));
    EXPECT_GE(state.estimatedErrorS, 0.0);
    EXPECT_GE(state.maximumErrorS, 0.0);
    EXPECT_LE(state.maximumErrorS, 20.0) << "the kernel caps its maximum error at 16 s";
}

#else

TEST(HostClockTest, WindowsCannotSay)
{
    const sHostClockState state = ReadHostClockState();
    EXPECT_FALSE(state.known);
    EXPECT_FALSE(state.synchronised);
}

#endif

}  // namespace
}  // namespace TolvarRT
