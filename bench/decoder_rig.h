// Running one decoder alone over a stream, as a port's reader thread would
// hand it over: a byte pipe that only counts what the decoder reports lost.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bench_streams.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"

namespace bench {

class NullBytePipe : public TolvarRT::TBiSubscription<TolvarRT::ILostBytePipe, TolvarRT::IIncomingBytePipe> {
public:
    int MarkLost(std::uint32_t, std::uint32_t count) override
    {
        lost += count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return true; }
    std::uint64_t lost = 0;
};

// A log sink at a fixed level that only counts the characters it is handed,
// as cheap as a sink can be: what remains is the cost of the lines themselves.
class CountingLogSink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    explicit CountingLogSink(unsigned sinkLevel) : level(sinkLevel) {}
    void Write(const char* text, unsigned) override { characters += std::char_traits<char>::length(text); }
    unsigned GetLogLevel() override { return level; }
    const unsigned level;
    std::uint64_t characters = 0;
};

// A port read: what one reader-thread wake-up typically hands over.
constexpr std::size_t kChunkSize = 4096;

// One decoder on a pipe that only counts, with a counting subscriber on its
// frames (Counter has a `frames` count).
template <class Decoder, class Counter>
class DecoderRig {
public:
    // The arguments go to the decoder's constructor (a log pipe, say).
    template <class... Arguments>
    explicit DecoderRig(Arguments&&... arguments) : decoder(std::forward<Arguments>(arguments)...)
    {
        decoder.Subscribe(&pipe);
        counter.Subscribe(&decoder);
    }

    // Feeds the whole stream in chunks, once per iteration; reports bytes per
    // second, and the frames and lost bytes of one pass.
    void Run(benchmark::State& state, const std::vector<std::uint8_t>& stream)
    {
        std::uint32_t index = 0;
        TolvarRT::TimeStamp stamp = 0;
        for (auto _ : state) {
            for (std::size_t offset = 0; offset < stream.size(); offset += kChunkSize) {
                const auto length = std::uint32_t(std::min(kChunkSize, stream.size() - offset));
                decoder.OnBytes(stream.data() + offset, length, index, ++stamp);
                index += length;
            }
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(stream.size()));
        const double passes = double(std::max<std::int64_t>(1, state.iterations()));
        state.counters["frames/pass"] = double(counter.frames) / passes;
        state.counters["lost/pass"] = double(pipe.lost) / passes;
    }

    NullBytePipe pipe;
    Decoder decoder;
    Counter counter;
};

// The real capture every decoder is measured on.
inline const std::vector<std::uint8_t>& HemiCapture()
{
    static const std::vector<std::uint8_t> stream = Capture("hemi.log");
    return stream;
}

}  // namespace bench
