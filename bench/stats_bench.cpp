// The cost of filing one received frame and correlating it with the source.
#include <benchmark/benchmark.h>

#include "stats/stats_collection.h"

namespace {

using namespace TolvarRT;

void BM_RecordFrameWithLinkedSource(benchmark::State& state)
{
    CLogPipe logPipe;
    CStatsCollection source(&logPipe, true);
    CStatsCollection receiver(&logPipe, false);
    receiver.SetSource(&source);
    // A mix of frame types as a busy RTK link carries them.
    const unsigned types[] = {1004, 1005, 1012, 1074, 1084, 1094, 1124, 1230};
    TimeStamp now = 1'000'000'000;
    std::uint16_t sum = 0;
    unsigned i = 0;
    for (auto _ : state) {
        const unsigned type = types[i++ % 8];
        now += 20'000'000;
        ++sum;
        source.RecordFrame(kFrameClassRTCM3, type, 200, sum, now);
        receiver.RecordFrame(kFrameClassRTCM3, type, 200, sum, now + 50'000'000);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()));
    state.SetLabel("one source frame and its received copy per iteration");
}
BENCHMARK(BM_RecordFrameWithLinkedSource);

}  // namespace
