// What the serial reader thread costs at the full byte rate of 460800 baud, and
// how long a chunk takes from the device to the port's owner. A
// pseudo-terminal plays the device, written in chunks of the sizes a USB
// serial adapter hands over.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "ports/serial/threaded_commport.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kBytesPerSecond = 46080.0;  // 460800 baud, 10 bits a byte
constexpr auto kTraffic = 10s;
constexpr unsigned kChunkSizes[] = {64, 128, 256, 512, 32, 200, 96, 320};

double CpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// Only the reader thread writes here until the port is closed.
struct Receiver {
    static void OnBytes(void* owner, const std::uint8_t*, std::uint32_t length)
    {
        auto& self = *static_cast<Receiver*>(owner);
        if (self.arrivals.empty())
            pthread_getcpuclockid(pthread_self(), &self.readerClock);
        const std::uint64_t total = self.delivered.load(std::memory_order_relaxed) + length;
        self.arrivals.push_back({total, Clock::now()});
        self.largestChunk = std::max(self.largestChunk, length);
        self.delivered.store(total, std::memory_order_release);
    }

    bool WaitFor(std::uint64_t count) const
    {
        const auto giveUp = Clock::now() + 10s;
        while (delivered.load(std::memory_order_acquire) < count && Clock::now() < giveUp)
            std::this_thread::sleep_for(1ms);
        return delivered.load(std::memory_order_acquire) >= count;
    }

    struct sArrival {
        std::uint64_t total;
        Clock::time_point at;
    };
    std::vector<sArrival> arrivals;
    std::atomic<std::uint64_t> delivered{0};
    std::uint32_t largestChunk = 0;
    clockid_t readerClock{};
};

void BM_SerialReaderAt460800(benchmark::State& state)
{
    int master = -1, slave = -1;
    char path[128] = {};
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || ttyname_r(slave, path, sizeof path) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const std::vector<std::uint8_t> data(512, 0x5A);

    for (auto _ : state) {
        Receiver receiver;
        receiver.arrivals.reserve(1 << 20);
        TolvarRT::tThreadedCommport port(&receiver, &Receiver::OnBytes, 0, 0);
        TolvarRT::PortSettings line;
        line.baudRate = 460800;
        line.readTimeout = 4000;
        if (!port.Open(path) || !port.Configure(line)) {
            state.SkipWithError("cannot open the pseudo-terminal");
            break;
        }
        port.StartThread();
        if (write(master, data.data(), 1) != 1 || !receiver.WaitFor(1)) {
            state.SkipWithError("no delivery");
            break;
        }

        struct sWrite {
            std::uint64_t total;
            Clock::time_point at;
        };
        std::vector<sWrite> writes;
        writes.reserve(1 << 16);
        std::uint64_t sent = 1;
        const double cpuBefore = CpuSeconds(receiver.readerClock);
        const auto start = Clock::now();
        for (unsigned k = 0; Clock::now() - start < kTraffic; ++k) {
            const unsigned size = kChunkSizes[k % std::size(kChunkSizes)];
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>((sent - 1) / kBytesPerSecond)));
            const auto at = Clock::now();
            if (write(master, data.data(), size) != ssize_t(size))
                break;
            sent += size;
            writes.push_back({sent, at});
        }
        const bool complete = receiver.WaitFor(sent);
        const double trafficSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpuSeconds = CpuSeconds(receiver.readerClock) - cpuBefore;
        port.Close();
        if (!complete) {
            state.SkipWithError("bytes lost");
            break;
        }

        // Each write's delay ends with the delivery that holds its last byte.
        std::vector<double> delays;
        auto arrival = receiver.arrivals.begin();
        for (const sWrite& written : writes) {
            while (arrival->total < written.total)
                ++arrival;
            delays.push_back(std::chrono::duration<double, std::micro>(arrival->at - written.at).count());
        }
        std::sort(delays.begin(), delays.end());
        state.counters["reader_cpu_percent"] = 100.0 * cpuSeconds / trafficSeconds;
        state.counters["delay_median_us"] = delays[delays.size() / 2];
        state.counters["delay_p99_us"] = delays[delays.size() * 99 / 100];
        state.counters["bytes_per_s"] = double(sent) / trafficSeconds;
        state.counters["deliveries_per_s"] = double(receiver.arrivals.size()) / trafficSeconds;
        state.counters["largest_chunk"] = receiver.largestChunk;
    }
    close(master);
    close(slave);
}
BENCHMARK(BM_SerialReaderAt460800)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
