// Ctrl+C and SIGTERM as a request to end a test, taken on the waiting thread
// instead of in a signal handler.
#pragma once

#include <signal.h>

#include <chrono>

namespace cli {

// Thread rules: construct it before any other thread starts (threads inherit
// the blocked signals, so only WaitUntil takes them); use it on that thread.
class CInterruptWait {
public:
    CInterruptWait();
    ~CInterruptWait();
    CInterruptWait(const CInterruptWait&) = delete;
    CInterruptWait& operator=(const CInterruptWait&) = delete;

    // Sleeps until the given time; false once an interrupt has arrived.
    bool WaitUntil(std::chrono::steady_clock::time_point until);

private:
    sigset_t interrupts{};
    sigset_t previous{};
    bool interrupted = false;
};

}  // namespace cli
