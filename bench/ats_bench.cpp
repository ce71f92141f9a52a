// ATS decoder throughput on a capture without ATS frames (all scanning) and
// on a dense synthetic stream of frames.
#include <benchmark/benchmark.h>

#include "decoder_rig.h"
#include "decoders/ats_input_handler.h"

namespace {

class FrameCounter : public TolvarRT::TSubscriber<TolvarRT::IIncommingATSPipe> {
public:
    void OnATSFrame(unsigned, const std::uint8_t*, std::uint16_t, const TolvarRT::TimeStamp&) override { ++frames; }
    std::uint64_t frames = 0;
};

// About 1 MB: generated 15-byte frames, longer frames of random bodies (some
// closed by the length limit), and a little noise between them.
const std::vector<std::uint8_t>& DenseATSStream()
{
    static const std::vector<std::uint8_t> stream = [] {
        std::vector<std::uint8_t> bytes;
        TolvarRT::CATSInputHandler builder;
        std::uint32_t seed = 4242;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        while (bytes.size() < (1u << 20)) {
            if (next() % 4 != 0) {
                TolvarRT::CATSInputHandler::FakeATSFrame frame;
                builder.BuildFakeATS(frame);
                bytes.insert(bytes.end(), frame.begin(), frame.end());
            } else {
                const std::size_t length = 2 + next() % 300;
                bytes.push_back(0x80);
                for (std::size_t i = 1; i + 1 < length; ++i) {
                    const auto byte = std::uint8_t(next() >> 16);
                    bytes.push_back(byte == 0x04 ? 0x05 : byte);
                }
                bytes.push_back(0x04);
            }
            if (next() % 8 == 0)
                bytes.insert(bytes.end(), {0x0D, 0x0A, 0x55});
        }
        return bytes;
    }();
    return stream;
}

void BM_ATS(benchmark::State& state, const std::vector<std::uint8_t>& (*stream)())
{
    bench::DecoderRig<TolvarRT::CATSInputHandler, FrameCounter> rig;
    rig.decoder.SetEnabled(true);
    rig.Run(state, stream());
}
BENCHMARK_CAPTURE(BM_ATS, Hemi, &bench::HemiCapture);
BENCHMARK_CAPTURE(BM_ATS, Dense, &DenseATSStream);

}  // namespace
