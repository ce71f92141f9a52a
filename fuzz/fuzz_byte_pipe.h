// The byte pipe of a fuzz harness: cuts the input into chunks whose sizes the
// input itself chooses, and checks that decoders account for bytes sanely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/pipes.h"
#include "core/subscription.h"

namespace fuzz {

class FuzzBytePipe : public TolvarRT::TBiSubscription<TolvarRT::ILostBytePipe, TolvarRT::IIncomingBytePipe> {
public:
    // The first byte of the input picks the largest chunk; the rest is the
    // stream. Returns false when the input is too short to say anything.
    bool Feed(const std::uint8_t* data, std::size_t size)
    {
        if (size < 2)
            return false;
        const std::size_t largest = 1 + data[0] % 64;
        std::uint32_t seed = data[0];
        ++data;
        --size;
        for (std::size_t offset = 0; offset < size;) {
            seed = seed * 1103515245u + 12345u;
            const std::size_t chunk = std::min<std::size_t>(1 + (seed >> 16) % largest, size - offset);
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            const std::uint32_t first = runningIndex;
            runningIndex += std::uint32_t(chunk);
            const TolvarRT::TimeStamp stamp = TolvarRT::TimeStamp(offset);
            Publish([&](TolvarRT::IIncomingBytePipe& decoder) {
                decoder.OnBytes(data + offset, std::uint32_t(chunk), first, stamp);
            });
            offset += chunk;
        }
        return true;
    }

    // Lost bytes are reported once, in order, inside what was fed.
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        if (count == 0 || firstIndex < lostUpTo || firstIndex + std::uint64_t(count) > runningIndex)
            std::abort();
        lostUpTo = firstIndex + count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return true; }

private:
    std::uint32_t runningIndex = 0;
    std::uint32_t lostUpTo = 0;
};

}  // namespace fuzz
