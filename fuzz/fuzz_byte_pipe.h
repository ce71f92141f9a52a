// A byte pipe for the decoder harnesses: feeds one fuzz input in chunks whose
// sizes the input chooses, and checks every lost report against the bytes fed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "core/byte_pipe_subscriber.h"
#include "core/frame_cover.h"
#include "core/pipes.h"
#include "core/subscription.h"

namespace fuzzing {

// Bytes 0..3 of the input give the cycle of chunk sizes (1..128 bytes); a set
// top bit marks the chunk. The rest is the stream, handed to chunk(bytes,
// length, marked) piece by piece.
template <class Chunk>
void ForEachChunk(const std::uint8_t* data, std::size_t size, Chunk&& chunk)
{
    constexpr std::size_t kControl = 4;
    if (size <= kControl)
        return;
    const std::uint8_t* stream = data + kControl;
    const std::size_t length = size - kControl;
    for (std::size_t offset = 0, index = 0; offset < length; ++index) {
        const std::uint8_t control = data[index % kControl];
        const std::size_t piece = std::min<std::size_t>(1 + (control & 0x7F), length - offset);
        chunk(stream + offset, piece, (control & 0x80) != 0);
        offset += piece;
    }
}

// What one decoder reported lost: runs within the bytes fed, in order, without
// overlap.
struct sLostLedger {
    std::uint64_t end = 0;
    std::uint64_t total = 0;
};

class FuzzBytePipe : public TolvarRT::TBiSubscription<TolvarRT::ILostBytePipe, TolvarRT::IIncomingBytePipe> {
public:
    // Feeds the stream of the input (see ForEachChunk); a marked chunk calls
    // beforeChunk first.
    template <class BeforeChunk>
    void FeedInput(const std::uint8_t* data, std::size_t size, BeforeChunk&& beforeChunk)
    {
        if (size > 4)
            fedStream = data + 4;
        ForEachChunk(data, size, [&](const std::uint8_t* piece, std::size_t length, bool marked) {
            if (marked)
                beforeChunk();
            Feed(piece, length);
        });
    }

    // One chunk, stamped with the count of bytes fed so far unless told.
    void Feed(const std::uint8_t* data, std::size_t length) { Feed(data, length, TolvarRT::TimeStamp(fed + length)); }
    void Feed(const std::uint8_t* data, std::size_t length, TolvarRT::TimeStamp stamp)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        const std::uint32_t firstIndex = std::uint32_t(fed);
        chunkFirst = fed;
        fed += length;
        // As the real byte pipe: the strongly checked decoders first, with a
        // frame cover.
        cover.BeginChunk(firstIndex);
        TolvarRT::DeliverChunk(*this, [&](TolvarRT::IIncomingBytePipe& decoder) {
            // A decoder reports its losses while it takes a chunk.
            current = &decoder;
            decoder.OnBytes(data, std::uint32_t(length), firstIndex, stamp);
            current = nullptr;
        });
    }

    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        sLostLedger& ledger = ledgers[current];
        if (current == nullptr || count == 0 || firstIndex < ledger.end || std::uint64_t(firstIndex) + count > fed)
            std::abort();
        ledger.end = firstIndex + std::uint64_t(count);
        ledger.total += count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return true; }
    TolvarRT::CFrameCover* FrameCover() override { return &cover; }

    // What the decoder has reported lost so far.
    sLostLedger Lost(const TolvarRT::IIncomingBytePipe& decoder) const
    {
        const auto found = ledgers.find(&decoder);
        return found == ledgers.end() ? sLostLedger{} : found->second;
    }

    // The stream FeedInput feeds, and the running index of the chunk being
    // delivered: a frame published now must end in it.
    const std::uint8_t* fedStream = nullptr;
    std::uint64_t chunkFirst = 0;
    std::uint64_t fed = 0;

private:
    const TolvarRT::IIncomingBytePipe* current = nullptr;
    TolvarRT::CFrameCover cover;
    std::map<const TolvarRT::IIncomingBytePipe*, sLostLedger> ledgers;
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
