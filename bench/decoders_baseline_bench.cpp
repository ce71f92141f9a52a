// The yardstick of every decoder figure: a plain loop that finds 0xD3, reads
// the length and checks the CRC-24Q byte by byte with a table. Decoder
// throughput is quoted as a ratio to this, measured in the same run.
#include <benchmark/benchmark.h>

#include <array>

#include "bench_streams.h"

namespace {

const std::array<std::uint32_t, 256>& CrcTable()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t crc = i << 16;
            for (int bit = 0; bit < 8; ++bit) {
                crc <<= 1;
                if (crc & 0x1000000)
                    crc ^= 0x1864CFB;
            }
            entries[i] = crc & 0xFFFFFF;
        }
        return entries;
    }();
    return table;
}

std::size_t CountGoodFrames(const std::vector<std::uint8_t>& stream)
{
    const auto& table = CrcTable();
    std::size_t frames = 0;
    std::size_t i = 0;
    while (i + 6 <= stream.size()) {
        if (stream[i] != 0xD3) {
            ++i;
            continue;
        }
        const std::size_t length = ((stream[i + 1] & 0x03u) << 8) | stream[i + 2];
        if (i + length + 6 > stream.size()) {
            ++i;
            continue;
        }
        std::uint32_t crc = 0;
        for (std::size_t k = i; k < i + length + 3; ++k)
            crc = ((crc << 8) & 0xFFFFFF) ^ table[((crc >> 16) ^ stream[k]) & 0xFF];
        const std::uint32_t sent = (std::uint32_t(stream[i + length + 3]) << 16) |
                                   (std::uint32_t(stream[i + length + 4]) << 8) | stream[i + length + 5];
        if (crc == sent) {
            ++frames;
            i += length + 6;
        } else {
            ++i;
        }
    }
    return frames;
}

void RunBaseline(benchmark::State& state, const std::vector<std::uint8_t>& stream)
{
    std::size_t frames = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(frames = CountGoodFrames(stream));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()));
    state.counters["frames"] = double(frames);
}

void BM_Baseline_Rtcm3Scan_Dense(benchmark::State& state)
{
    RunBaseline(state, bench::DenseRtcm3Stream());
}
BENCHMARK(BM_Baseline_Rtcm3Scan_Dense);

void BM_Baseline_Rtcm3Scan_Testglo(benchmark::State& state)
{
    static const auto stream = bench::Capture("testglo.rtcm3");
    RunBaseline(state, stream);
}
BENCHMARK(BM_Baseline_Rtcm3Scan_Testglo);

}  // namespace
