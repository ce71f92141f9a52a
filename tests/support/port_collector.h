// The owner's side of a port's callback for tests: keeps every chunk as it
// was delivered and wakes whoever waits for bytes or chunks.
#pragma once

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace TolvarRT::testing {

using Bytes = std::vector<std::uint8_t>;

class PortCollector {
public:
    static void OnBytes(void* owner, const std::uint8_t* data, std::uint32_t length)
    {
        static_cast<PortCollector*>(owner)->Add(data, length);
    }

    bool WaitFor(std::size_t byteCount, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return total >= byteCount; });
    }
    bool WaitForChunks(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return chunks.size() >= count; });
    }
    Bytes Received()
    {
        std::lock_guard<std::mutex> guard(mutex);
        Bytes all;
        for (const Bytes& chunk : chunks)
            all.insert(all.end(), chunk.begin(), chunk.end());
        return all;
    }
    std::vector<Bytes> Chunks()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return chunks;
    }
    std::size_t LargestChunk()
    {
        std::lock_guard<std::mutex> guard(mutex);
        std::size_t largest = 0;
        for (const Bytes& chunk : chunks)
            largest = std::max(largest, chunk.size());
        return largest;
    }
    // The CPU clock of the thread that delivered the first chunk.
    clockid_t DeliveringThreadClock()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return threadClock;
    }

private:
    void Add(const std::uint8_t* data, std::uint32_t length)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (chunks.empty())
                pthread_getcpuclockid(pthread_self(), &threadClock);
            chunks.emplace_back(data, data + length);
            total += length;
        }
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> chunks;
    std::size_t total = 0;
    clockid_t threadClock{};
};

}  // namespace TolvarRT::testing
