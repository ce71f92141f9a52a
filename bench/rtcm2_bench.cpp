// Throughput of the RTCM v2 decoder alone, fed in port-sized chunks, on the
// recorded feeds and on a dense synthetic stream.
#include <benchmark/benchmark.h>

#include "decoder_rig.h"
#include "decoders/rtcm_input_handler.h"
#include "rtcm2_writer.h"

namespace {

using TolvarRT::CRTCMInputHandler;

class FrameCounter : public TolvarRT::TSubscriber<TolvarRT::IIncommingRTCMPipe> {
public:
    ~FrameCounter() override { Unsubscribe(); }
    void OnRTCMFrame(unsigned, const std::uint8_t*, std::uint16_t, const TolvarRT::TimeStamp&) override { ++frames; }
    std::size_t frames = 0;
};

// About 1 MB of back-to-back frames of every length, a few bytes of noise
// between some, and now and then a bit slip that moves the words against the
// bytes.
const std::vector<std::uint8_t>& DenseRtcm2Stream()
{
    static const std::vector<std::uint8_t> stream = [] {
        TolvarRT::testing::Rtcm2Writer writer;
        std::uint32_t seed = 4242;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        while (writer.bytes.size() < (1u << 20)) {
            TolvarRT::testing::Rtcm2Fields fields;
            fields.type = 1 + next() % 63;
            fields.station = next() % 1024;
            fields.zCount = next() % 6000;
            std::vector<std::uint32_t> data(next() % 32);
            for (auto& word : data)
                word = next() >> 8;
            writer.Frame(fields, data);
            if (next() % 8 == 0)
                writer.Raw({0x0D, 0x0A});
            if (next() % 16 == 0)
                writer.Bits(next(), 1 + next() % 5);
        }
        writer.Pad();
        return writer.bytes;
    }();
    return stream;
}

void RunDecoder(benchmark::State& state, const std::vector<std::uint8_t>& stream)
{
    bench::DecoderRig<CRTCMInputHandler, FrameCounter> rig;
    rig.Run(state, stream);
}

void BM_Rtcm2Decoder_Sample(benchmark::State& state)
{
    static const auto stream = bench::Capture("sample.rtcm2");
    RunDecoder(state, stream);
}
BENCHMARK(BM_Rtcm2Decoder_Sample);

void BM_Rtcm2Decoder_Bend(benchmark::State& state)
{
    static const auto stream = bench::Capture("rtcm2.bend.log");
    RunDecoder(state, stream);
}
BENCHMARK(BM_Rtcm2Decoder_Bend);

void BM_Rtcm2Decoder_Dense(benchmark::State& state)
{
    RunDecoder(state, DenseRtcm2Stream());
}
BENCHMARK(BM_Rtcm2Decoder_Dense);

}  // namespace
