// A signalling event for threads that start, stop and pace each other: set by
// one thread, waited on by others with a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace TolvarRT {

// Thread rules: every operation may be called from any thread.
class CEvent {
public:
    enum class Reset { Manual, Auto };

    explicit CEvent(Reset reset = Reset::Manual, bool initiallySet = false)
        : autoReset(reset == Reset::Auto), signalled(initiallySet)
    {
    }
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            signalled = true;
        }
        changed.notify_all();
    }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(mutex);
        signalled = false;
    }

    // Reads the state without consuming it.
    bool IsSet() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return signalled;
    }

    // True when the event was signalled before the deadline; an auto-reset
    // event is cleared by the wait that sees it.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_until(lock, deadline, [this] { return signalled; }))
            return false;
        if (autoReset)
            signalled = false;
        return true;
    }

    bool WaitFor(std::chrono::milliseconds timeout) { return WaitUntil(std::chrono::steady_clock::now() + timeout); }

private:
    const bool autoReset;
    bool signalled;
    mutable std::mutex mutex;
    std::condition_variable changed;
};

}  // namespace TolvarRT
