// Throughput of the RTCM v3 decoder alone, fed port-sized chunks, on real
// captures and on the dense synthetic stream; compare with
// BM_Baseline_Rtcm3Scan_* of the same run.
#include <benchmark/benchmark.h>

#include <mutex>

#include "decoder_rig.h"
#include "decoders/rtcm3_input_handler.h"

namespace {

using namespace TolvarRT;

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

void RunHandler(benchmark::State& state, const std::vector<std::uint8_t>& stream, CLogPipe* logPipe = nullptr)
{
    bench::DecoderRig<CRTCM3InputHandler, FrameCounter> rig(logPipe);
    rig.Run(state, stream);
    benchmark::DoNotOptimize(rig.counter.checksum);
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
void RunWithSink(benchmark::State& state, unsigned sinkLevel)
{
    CLogPipe logPipe;
    bench::CountingLogSink sink(sinkLevel);
    sink.Subscribe(&logPipe);
    RunHandler(state, bench::DenseRtcm3Stream(), &logPipe);
    sink.Unsubscribe();
    state.counters["log_chars/pass"] = double(sink.characters) / double(std::max<std::int64_t>(1, state.iterations()));
}

void BM_Rtcm3Handler_Dense_LogSinkAtNone(benchmark::State& state)
{
    RunWithSink(state, kLogNone);
}
BENCHMARK(BM_Rtcm3Handler_Dense_LogSinkAtNone);

// The desktop's log pane at its usual level: every frame's line is formatted
// and delivered.
void BM_Rtcm3Handler_Dense_LogSinkAtBasic(benchmark::State& state)
{
    RunWithSink(state, kLogBasic);
}
BENCHMARK(BM_Rtcm3Handler_Dense_LogSinkAtBasic);

}  // namespace
