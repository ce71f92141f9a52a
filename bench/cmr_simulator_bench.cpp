// How punctually the fake CMR generator sends its epochs, on the real clock:
// software timing (mode 1) against the periodic timer (mode 2).
//
//   cmr_simulator_bench [--seconds=60] [--schedule=0] [benchmark flags]
//
// Each mode runs the real generator thread for --seconds and reports the
// lateness of every epoch (actual send time minus the time it was due, in
// microseconds) as median, 99th percentile and worst, the epochs lost to
// "Lost sync", the grid points that passed without an epoch, and the CPU the
// generator used.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoders/data_collector_parser.h"
#include "sim/cmr_simulator.h"

namespace {

using namespace TolvarRT;

unsigned runSeconds = 60;
unsigned runSchedule = 0;

// The Source port: takes every packet and forgets it.
class DiscardingPort : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    int MarkLost(std::uint32_t, std::uint32_t) override { return 0; }
    bool Send(const std::uint8_t*, std::uint32_t length) override
    {
        bytes += length;
        return true;
    }
    unsigned long bytes = 0;
};

// A log view at Basic that keeps nothing.
class CountingSink : public TSubscriber<ILogPipe> {
public:
    ~CountingSink() override { Unsubscribe(); }
    void Write(const char*, unsigned) override { ++texts; }
    unsigned GetLogLevel() override { return kLogBasic; }
    std::atomic<unsigned long> texts{0};
};

struct sEpochRecord {
    std::mutex mutex;
    std::vector<double> dues;      // s, of the epochs sent
    std::vector<double> lateness;  // us, actual send minus due
    unsigned lostSync = 0;
    bool pending = false;
    double pendingDue = 0.0;
};

// The system's timing, passed through, with each epoch tick noted.
class RecordingTiming : public ICMRSimTiming {
public:
    RecordingTiming(std::unique_ptr<ICMRSimTiming> real, sEpochRecord& record) : real(std::move(real)), record(record)
    {
    }
    double Now() override { return real->Now(); }
    Wake Wait(unsigned ms) override { return real->Wait(ms); }
    void StartTimer(unsigned offsetMs, unsigned intervalMs) override { real->StartTimer(offsetMs, intervalMs); }
    Wake WaitTimer(double& dueAt) override { return real->WaitTimer(dueAt); }
    void StopTimer() override { real->StopTimer(); }
    void WaitForStop(unsigned ms) override { real->WaitForStop(ms); }
    void Sleep(unsigned ms) override { real->Sleep(ms); }
    void SetTimeCritical(bool raised) override { real->SetTimeCritical(raised); }
    void OnEpochTick(double dueAt, double, bool send) override
    {
        std::lock_guard<std::mutex> guard(record.mutex);
        record.pending = send;
        record.pendingDue = dueAt;
        if (!send)
            ++record.lostSync;
    }

private:
    std::unique_ptr<ICMRSimTiming> real;
    sEpochRecord& record;
};

class MeasuredSimulator : public CCMRSimulator {
public:
    MeasuredSimulator(CDCCMRHandler* handler, CLogPipe* logPipe, sEpochRecord& record)
        : CCMRSimulator(handler, logPipe), record(record)
    {
    }
    ~MeasuredSimulator() override { Stop(); }

protected:
    std::unique_ptr<ICMRSimTiming> CreateTiming() override
    {
        return std::make_unique<RecordingTiming>(CCMRSimulator::CreateTiming(), record);
    }

private:
    sEpochRecord& record;
};

// The first frame after a tick is the epoch's; its time stamp is taken just
// after the packet went to the port.
class EpochFrames : public TSubscriber<IIncommingCMRPipe> {
public:
    explicit EpochFrames(sEpochRecord& record) : record(record) {}
    ~EpochFrames() override { Unsubscribe(); }
    void OnCMRFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp& stamp) override
    {
        Note(stamp);
    }
    void OnCMRWFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp& stamp) override
    {
        Note(stamp);
    }
    void OnSendToFrame(const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp& stamp) override
    {
        Note(stamp);
    }

private:
    void Note(const TimeStamp& stamp)
    {
        std::lock_guard<std::mutex> guard(record.mutex);
        if (!record.pending)
            return;
        record.pending = false;
        record.dues.push_back(record.pendingDue);
        record.lateness.push_back((SecondsSinceStart(stamp) - record.pendingDue) * 1e6);
    }
    sEpochRecord& record;
};

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(std::ceil(fraction * double(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

void BM_EpochTiming(benchmark::State& state)
{
    const auto mode = unsigned(state.range(0));
    sEpochRecord record;
    double cpuSeconds = 0.0;
    for (auto _ : state) {
        CLogPipe logPipe;
        CountingSink sink;
        sink.Subscribe(&logPipe);
        DiscardingPort port;
        CLogNode parserLog(&logPipe);
        CDataCollectorParser parser(parserLog);
        CDCCMRHandler handler(&logPipe);
        parser.Subscribe(&port);
        handler.Subscribe(&parser);
        EpochFrames frames(record);
        MeasuredSimulator sim(&handler, &logPipe, record);
        frames.Subscribe(&sim);
        sim.SetSchedule(runSchedule);
        sim.SetSVCount(9, 4);
        const double cpuBefore = ProcessCpuSeconds();
        sim.Start(CCMRSimulator::kNoLimit, mode);
        std::this_thread::sleep_for(std::chrono::seconds(runSeconds));
        sim.Stop();
        cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    }

    std::lock_guard<std::mutex> guard(record.mutex);
    // The last epoch is the one the stop let out, off the grid.
    if (!record.lateness.empty()) {
        record.lateness.pop_back();
        record.dues.pop_back();
    }
    const double interval = FakeSchedule(runSchedule).intervalMs / 1000.0;
    unsigned gridSkipped = 0;
    for (std::size_t i = 1; i < record.dues.size(); ++i) {
        const long steps = std::lround((record.dues[i] - record.dues[i - 1]) / interval);
        gridSkipped += unsigned(std::max(0L, steps - 1));
    }
    std::vector<double> magnitudes(record.lateness.size());
    std::transform(record.lateness.begin(), record.lateness.end(), magnitudes.begin(),
                   [](double value) { return std::fabs(value); });
    state.counters["epochs"] = double(record.lateness.size());
    state.counters["median_us"] = Percentile(record.lateness, 0.5);
    state.counters["p99_us"] = Percentile(record.lateness, 0.99);
    state.counters["worst_us"] = Percentile(magnitudes, 1.0);
    // The main thread sleeps: nearly all of it is the generator's, mostly its spin.
    state.counters["cpu_pct"] = 100.0 * cpuSeconds / runSeconds;
    state.counters["lost_sync"] = record.lostSync;
    state.counters["skipped"] = gridSkipped;
}
BENCHMARK(BM_EpochTiming)
    ->ArgName("mode")
    ->Arg(CCMRSimulator::kModeSoftwareAligned)
    ->Arg(CCMRSimulator::kModeTimer)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// Takes --seconds=N and --schedule=N out of the arguments.
bool TakeFlag(const char* argument, const char* name, unsigned& value)
{
    const std::size_t length = std::strlen(name);
    if (std::strncmp(argument, name, length) != 0 || argument[length] != '=')
        return false;
    value = unsigned(std::strtoul(argument + length + 1, nullptr, 10));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (!TakeFlag(argv[i], "--seconds", runSeconds) && !TakeFlag(argv[i], "--schedule", runSchedule))
            argv[kept++] = argv[i];
    }
    argc = kept;
    runSchedule = std::min(runSchedule, kFakeScheduleCount - 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
