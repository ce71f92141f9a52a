// A byte pipe for the decoder harnesses: feeds one fuzz input in chunks whose
// sizes the input chooses, and checks every lost report against the bytes fed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "core/pipes.h"
#include "core/subscription.h"

namespace fuzzing {

class FuzzBytePipe : public TolvarRT::TBiSubscription<TolvarRT::ILostBytePipe, TolvarRT::IIncomingBytePipe> {
public:
    // Bytes 0..3 of the input give the cycle of chunk sizes (1..128 bytes);
    // a set top bit calls beforeChunk first. The rest is the stream.
    template <class BeforeChunk>
    void FeedInput(const std::uint8_t* data, std::size_t size, BeforeChunk&& beforeChunk)
    {
        constexpr std::size_t kControl = 4;
        if (size <= kControl)
            return;
        const std::uint8_t* stream = data + kControl;
        const std::size_t length = size - kControl;
        fedStream = stream;
        for (std::size_t offset = 0, chunk = 0; offset < length; ++chunk) {
            const std::uint8_t control = data[chunk % kControl];
            if (control & 0x80)
                beforeChunk();
            const std::size_t piece = std::min<std::size_t>(1 + (control & 0x7F), length - offset);
            Feed(stream + offset, piece);
            offset += piece;
        }
    }

    void Feed(const std::uint8_t* data, std::size_t length)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        const std::uint32_t firstIndex = std::uint32_t(fed);
        chunkFirst = fed;
        fed += length;
        const TolvarRT::TimeStamp stamp = fed;
        Publish([&](TolvarRT::IIncomingBytePipe& decoder) {
            decoder.OnBytes(data, std::uint32_t(length), firstIndex, stamp);
        });
    }

    // Lost runs lie within the bytes fed, in order, without overlap.
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        if (count == 0 || firstIndex < lostEnd || std::uint64_t(firstIndex) + count > fed)
            std::abort();
        lostEnd = firstIndex + count;
        lostTotal += count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return true; }

    // The stream FeedInput feeds, and the running index of the chunk being
    // delivered: a frame published now must end in it.
    const std::uint8_t* fedStream = nullptr;
    std::uint64_t chunkFirst = 0;
    std::uint64_t fed = 0;
    std::uint64_t lostEnd = 0;
    std::uint64_t lostTotal = 0;
};

// One decoder on the pipe, with a checking subscriber on its frames.
template <class Decoder, class Checker>
struct FuzzRig {
    FuzzRig()
    {
        decoder.Subscribe(&pipe);
        checker.Subscribe(&decoder);
    }
    FuzzBytePipe pipe;
    Decoder decoder;
    Checker checker;
};

}  // namespace fuzzing
