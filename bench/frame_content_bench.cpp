// The content reader on the MSM frames of the real captures: how many frames
// a second ReadRTCM3Content reads, each read once as the frame lister does.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_streams.h"
#include "decoders/frame_content.h"
#include "rtcm3_payloads.h"

namespace {

using namespace TolvarRT;

// The payloads of every MSM frame (1071..1137) with a good CRC.
std::vector<std::vector<std::uint8_t>> MsmPayloads()
{
    std::vector<std::vector<std::uint8_t>> payloads;
    for (const char* capture :
         {"pygpsdata-NTRIP-USCL00CHL0.log", "pygpsdata-MIXED-RTCM3BADCRC.log", "ublox-f9p-rtcm.log"})
        for (testing::sRtcm3Payload& payload : testing::Rtcm3Payloads(bench::Capture(capture)))
            if (payload.type >= 1071 && payload.type <= 1137)
                payloads.push_back(std::move(payload.bytes));
    return payloads;
}

void BM_FrameContent_Rtcm3Msm(benchmark::State& state)
{
    const std::vector<std::vector<std::uint8_t>> payloads = MsmPayloads();
    std::size_t bytes = 0;
    for (const auto& payload : payloads)
        bytes += payload.size();
    sFrameContent content;
    std::uint64_t cells = 0;
    for (auto _ : state) {
        for (const auto& payload : payloads) {
            ReadRTCM3Content(payload.data(), std::uint16_t(payload.size()), content);
            cells += content.cells;
        }
        benchmark::DoNotOptimize(cells);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations() * payloads.size()));
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes));
    state.counters["frames"] = double(payloads.size());
}
BENCHMARK(BM_FrameContent_Rtcm3Msm);

}  // namespace
