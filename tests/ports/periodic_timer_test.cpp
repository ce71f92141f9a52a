// The periodic timer: grid pacing, one tick per wait, stop before tick. Only
// lower bounds on time are asserted; the machines are shared and noisy.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ports/platform/periodic_timer.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Result = CPeriodicTimer::WaitResult;

class PeriodicTimerTest : public ::testing::Test {
protected:
    CPeriodicTimer timer;
    CEvent stop;  // manual reset
};

TEST_F(PeriodicTimerTest, UnsetTimerOnlyTimesOut)
{
    const auto start = Clock::now();
    EXPECT_EQ(timer.Wait(stop, 20ms), Result::Timeout);
    EXPECT_GE(Clock::now() - start, 20ms);
}

TEST_F(PeriodicTimerTest, StopWinsOverADueTick)
{
    timer.Set(std::chrono::system_clock::now() - 1s, 10ms);
    stop.Set();
    EXPECT_EQ(timer.Wait(stop, 1000ms), Result::Stop);
    // A manual-reset stop stays set.
    EXPECT_EQ(timer.Wait(stop, 1000ms), Result::Stop);
}

TEST_F(PeriodicTimerTest, StopFromAnotherThreadEndsTheWait)
{
    timer.Set(std::chrono::system_clock::now() + 1h, 1000ms);
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        stop.Set();
    });
    EXPECT_EQ(timer.Wait(stop, 10000ms), Result::Stop);
    stopper.join();
}

TEST_F(PeriodicTimerTest, TicksNeverComeBeforeTheirDueTime)
{
    const auto start = Clock::now();
    timer.Set(std::chrono::system_clock::now() + 30ms, 20ms);
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(timer.Wait(stop, 1000ms), Result::Tick);
    // The fourth tick is due 30 + 3 x 20 ms after the start.
    EXPECT_GE(Clock::now() - start, 90ms - 1ms);
}

TEST_F(PeriodicTimerTest, ALateWaiterGetsOneTickThenTheNextGridPoint)
{
    const auto start = Clock::now();
    timer.Set(std::chrono::system_clock::now(), 40ms);
    std::this_thread::sleep_for(100ms);  // grid points at 0, 40 and 80 ms have passed
    const auto lateWake = Clock::now();
    EXPECT_EQ(timer.Wait(stop, 1000ms), Result::Tick);
    EXPECT_EQ(timer.Wait(stop, 1000ms), Result::Tick);
    // The second tick waits for the next point on the grid after the late
    // wake-up, not for a period after it, and not a burst of missed ticks.
    const auto elapsed = Clock::now() - start;
    const auto gridPoint = ((lateWake - start) / 40ms + 1) * 40ms;
    EXPECT_GE(elapsed, gridPoint - 1ms);
}

TEST_F(PeriodicTimerTest, AutoResetStopIsConsumedByTheWaitThatSeesIt)
{
    CEvent autoStop(CEvent::Reset::Auto);
    autoStop.Set();
    EXPECT_EQ(timer.Wait(autoStop, 10ms), Result::Stop);
    EXPECT_EQ(timer.Wait(autoStop, 10ms), Result::Timeout);
}

}  // namespace
}  // namespace TolvarRT
