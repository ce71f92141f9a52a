// Ctrl+C, however the system delivers it (a signal on Linux, the console's
// control handler on Windows), ends the waits and runs the cancel once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/interrupt_wait.h"

namespace {

using namespace std::chrono_literals;

TEST(InterruptWait, AnInterruptEndsTheWaitsAndRunsTheCancelOnce)
{
    cli::CInterruptWait wait;
    std::atomic<int> cancels{0};
    wait.SetCancel([&cancels] { ++cancels; });
    EXPECT_TRUE(wait.WaitUntil(std::chrono::steady_clock::now() + 1ms)) << "no interrupt yet";

    std::thread interrupter([&wait] { wait.Interrupt(); });
    EXPECT_FALSE(wait.WaitUntil(std::chrono::steady_clock::now() + 60s));
    interrupter.join();
    wait.Interrupt();
    EXPECT_EQ(cancels.load(), 1) << "a second Ctrl+C does not cancel again";

    // A cancel registered after the interrupt runs at once.
    std::atomic<int> late{0};
    wait.SetCancel([&late] { ++late; });
    EXPECT_EQ(late.load(), 1);
    wait.SetCancel({});
}

}  // namespace
