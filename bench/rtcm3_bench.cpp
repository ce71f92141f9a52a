// Throughput of the RTCM v3 decoder alone, fed port-sized chunks through a
// byte pipe, on real captures and on the dense synthetic stream; compare with
// BM_Baseline_Rtcm3Scan_* of the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <mutex>

#include "bench_streams.h"
#include "decoders/rtcm3_input_handler.h"

namespace {

using namespace TolvarRT;

constexpr std::size_t kPortChunk = 1024;

// Publishes like the byte pipe: one lock for the whole delivery, running index.
class ChunkPipe : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    int MarkLost(std::uint32_t, std::uint32_t count) override
    {
        lostBytes += count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }

    void Feed(const std::vector<std::uint8_t>& stream)
    {
        for (std::size_t offset = 0; offset < stream.size(); offset += kPortChunk) {
            const auto length = std::uint32_t(std::min(kPortChunk, stream.size() - offset));
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            const std::uint32_t firstIndex = runningIndex;
            runningIndex += length;
            const TimeStamp now = TimeStampNow();
            Publish([&](IIncomingBytePipe& decoder) { decoder.OnBytes(&stream[offset], length, firstIndex, now); });
        }
    }

    std::uint32_t runningIndex = 0;
    std::uint64_t lostBytes = 0;
};

class FrameCounter : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    void OnRTCM3Frame(unsigned type, const std::uint8_t*, std::uint16_t length, const TimeStamp&) override
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        ++frames;
        checksum += type + length;
    }
    std::uint64_t frames = 0;
    std::uint64_t checksum = 0;
};

class SilentSink : public TSubscriber<ILogPipe> {
public:
    void Write(const char*, unsigned) override {}
    unsigned GetLogLevel() override { return kLogNone; }
};

void RunHandler(benchmark::State& state, const std::vector<std::uint8_t>& stream, CLogPipe* logPipe = nullptr)
{
    ChunkPipe pipe;
    CRTCM3InputHandler handler(logPipe);
    FrameCounter counter;
    handler.Subscribe(&pipe);
    counter.Subscribe(&handler);
    for (auto _ : state)
        pipe.Feed(stream);
    benchmark::DoNotOptimize(counter.checksum);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()));
    state.counters["frames"] = double(counter.frames) / double(state.iterations());
    state.counters["lost"] = double(pipe.lostBytes) / double(state.iterations());
    counter.Unsubscribe();
    handler.Unsubscribe();
}

void BM_Rtcm3Handler_Dense(benchmark::State& state)
{
    RunHandler(state, bench::DenseRtcm3Stream());
}
BENCHMARK(BM_Rtcm3Handler_Dense);

void BM_Rtcm3Handler_Testglo(benchmark::State& state)
{
    static const auto stream = bench::Capture("testglo.rtcm3");
    RunHandler(state, stream);
}
BENCHMARK(BM_Rtcm3Handler_Testglo);

void BM_Rtcm3Handler_Ntrip(benchmark::State& state)
{
    static const auto stream = bench::Capture("pygpsdata-NTRIP-USCL00CHL0.log");
    RunHandler(state, stream);
}
BENCHMARK(BM_Rtcm3Handler_Ntrip);

// With a log pipe whose only sink is at None: frame lines are Basic texts,
// which the log always formats (they refresh its cached sink level); the dump
// costs a comparison.
void BM_Rtcm3Handler_Dense_LogSinkAtNone(benchmark::State& state)
{
    CLogPipe logPipe;
    SilentSink sink;
    sink.Subscribe(&logPipe);
    RunHandler(state, bench::DenseRtcm3Stream(), &logPipe);
    sink.Unsubscribe();
}
BENCHMARK(BM_Rtcm3Handler_Dense_LogSinkAtNone);

}  // namespace
