// Ctrl+C and SIGTERM as a request to end a test, taken by a thread of its own
// instead of in a signal handler: it wakes the test's waits, and ends the
// waits of a connection in progress through the cancel registered with it.
#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace cli {

// Thread rules: construct it before any other thread starts (threads inherit
// the blocked signals, so only its own thread takes them; on Windows the
// console calls its control handler on a thread of its own). WaitUntil and
// SetCancel may be called from any thread.
class CInterruptWait {
public:
    CInterruptWait();
    ~CInterruptWait();
    CInterruptWait(const CInterruptWait&) = delete;
    CInterruptWait& operator=(const CInterruptWait&) = delete;

    // Sleeps until the given time; false once an interrupt has arrived.
    bool WaitUntil(std::chrono::steady_clock::time_point until);
    // What the interrupt also does, once, on the interrupt's thread: at once
    // when it has arrived already. An empty function unregisters it; a cancel
    // running meanwhile has ended when SetCancel returns.
    void SetCancel(std::function<void()> cancel);
    // What an interrupt does, from whichever thread the system delivers it on.
    void Interrupt();

private:
    void Watch();

#ifndef _WIN32
    sigset_t interrupts{};
    sigset_t previous{};
#endif
    std::mutex lock;
    std::condition_variable changed;
    bool interrupted = false;           // under the lock
    bool closing = false;               // under the lock
    std::function<void()> onInterrupt;  // under the lock
    std::thread watcher;                // POSIX only
};

}  // namespace cli
