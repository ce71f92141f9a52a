// A link that holds every chunk for a fixed time, as a slow radio or a long
// network path does, for the tests of links whose delay is many frame
// periods long.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace TolvarRT::testing {

// One thread hands each chunk on at its absolute due time (when it was pushed
// plus the delay, on the steady clock), in the order pushed.
//
// Thread rules: Push and WaitDrained from any thread; deliver runs on the
// line's own thread, never under its lock.
class CDelayLine {
public:
    using Clock = std::chrono::steady_clock;
    using Bytes = std::vector<std::uint8_t>;

    CDelayLine(Clock::duration delay, std::function<void(const Bytes&)> deliver)
        : delay(delay), deliver(std::move(deliver)), thread([this] { Run(); })
    {
    }
    // Chunks not yet due are never delivered.
    ~CDelayLine()
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            stop = true;
        }
        wake.notify_all();
        thread.join();
    }
    CDelayLine(const CDelayLine&) = delete;
    CDelayLine& operator=(const CDelayLine&) = delete;

    void Push(Bytes chunk)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            held.push_back({Clock::now() + delay, std::move(chunk)});
        }
        wake.notify_all();
    }
    // True once every chunk pushed so far has been handed on; false when that
    // has not happened within limit.
    bool WaitDrained(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return drained.wait_for(lock, limit, [this] { return held.empty() && !delivering; });
    }

private:
    struct sHeld {
        Clock::time_point due;
        Bytes chunk;
    };

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stop) {
            if (held.empty()) {
                wake.wait(lock, [this] { return stop || !held.empty(); });
                continue;
            }
            const Clock::time_point due = held.front().due;
            if (wake.wait_until(lock, due, [this] { return stop; }))
                break;
            sHeld next = std::move(held.front());
            held.pop_front();
            delivering = true;
            lock.unlock();
            deliver(next.chunk);
            lock.lock();
            delivering = false;
            if (held.empty())
                drained.notify_all();
        }
    }

    const Clock::duration delay;
    const std::function<void(const Bytes&)> deliver;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::deque<sHeld> held;
    bool delivering = false;
    bool stop = false;
    std::thread thread;  // last: it starts once everything it uses is there
};

}  // namespace TolvarRT::testing
