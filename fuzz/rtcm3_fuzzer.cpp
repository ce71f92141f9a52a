// Any bytes in any chunking: every frame the RTCM v3 decoder publishes must be
// a well-formed frame of the input at the place the byte accounting says, and
// every byte must end up in a frame or in exactly one lost report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "decoders/rtcm3_input_handler.h"
#include "tests/support/rtcm3_frame_builder.h"

namespace {

using namespace TolvarRT;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A byte pipe without a port; it holds the input and the index up to which
// every byte has been accounted for.
class LocalPipe : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        Check(count > 0 && firstIndex == accounted && accounted + count <= fed);
        accounted += count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }

    void Feed(const std::uint8_t* data, std::uint32_t length)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        const TimeStamp now = fed;
        const std::uint32_t firstIndex = fed;
        chunkFirst = fed;
        fed += length;
        Publish([&](IIncomingBytePipe& decoder) { decoder.OnBytes(data, length, firstIndex, now); });
    }

    // A frame is out with the chunk that completes it: no whole frame with a
    // good CRC may wait among the bytes not yet accounted for, whatever
    // started before it.
    void CheckNothingHeld() const
    {
        for (std::uint32_t at = accounted; at + 6 <= fed; ++at) {
            if (stream[at] != 0xD3)
                continue;
            const std::uint32_t length = ((stream[at + 1] & 0x03u) << 8) | stream[at + 2];
            if (at + length + 6 > fed)
                continue;
            const std::uint8_t* crc = stream + at + length + 3;
            Check(TolvarRT::testing::rtcm3_reference::Crc24q(stream + at, length + 3u) !=
                  ((std::uint32_t(crc[0]) << 16) | (std::uint32_t(crc[1]) << 8) | crc[2]));
        }
    }

    const std::uint8_t* stream = nullptr;
    std::uint32_t chunkFirst = 0;  // the running index of the chunk being delivered
    std::uint32_t fed = 0;
    std::uint32_t accounted = 0;
};

class FrameChecker : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    explicit FrameChecker(LocalPipe& bytePipe) : pipe(bytePipe) {}
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TimeStamp& /*timeStamp*/) override
    {
        // Everything before the frame has been reported, so it starts here.
        const std::uint32_t at = pipe.accounted;
        const std::uint32_t size = length + 6u;
        // It ends in the chunk being delivered: none waits for later bytes.
        Check(length <= 1023 && at + size <= pipe.fed && at + size > pipe.chunkFirst);
        const std::uint8_t* frame = pipe.stream + at;
        Check(frame[0] == 0xD3 && (((frame[1] & 0x03u) << 8) | frame[2]) == length);
        for (unsigned i = 0; i < length; ++i)
            Check(data[i] == frame[3 + i]);
        const std::uint32_t crc = TolvarRT::testing::rtcm3_reference::Crc24q(frame, length + 3u);
        Check(crc ==
              ((std::uint32_t(frame[length + 3]) << 16) | (std::uint32_t(frame[length + 4]) << 8) | frame[length + 5]));
        const unsigned expectedType = length >= 2   ? (unsigned(data[0]) << 4) | (data[1] >> 4)
                                      : length == 1 ? unsigned(data[0]) << 4
                                                    : 0;
        Check(type == expectedType);
        pipe.accounted += size;
    }

private:
    LocalPipe& pipe;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first four bytes choose the chunk sizes and the chunks that arrive
    // while decoding is switched off; the rest is the stream.
    if (size < 4)
        return 0;
    std::uint32_t seed =
        (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) | (std::uint32_t(data[2]) << 8) | data[3];
    const std::uint8_t* stream = data + 4;
    const auto length = std::uint32_t(size - 4);

    LocalPipe pipe;
    pipe.stream = stream;
    CRTCM3InputHandler handler;
    FrameChecker checker(pipe);
    handler.Subscribe(&pipe);
    checker.Subscribe(&handler);

    for (std::uint32_t offset = 0; offset < length;) {
        seed = seed * 1664525u + 1013904223u;
        const unsigned pick = seed >> 16;
        const std::uint32_t limit = pick % 4 == 0 ? 2000 : pick % 4 == 1 ? 8 : 300;
        std::uint32_t chunk = 1 + (pick >> 4) % limit;
        if (chunk > length - offset)
            chunk = length - offset;
        const bool enabled = (pick >> 12) % 16 != 0;
        handler.SetEnabled(enabled);
        pipe.Feed(stream + offset, chunk);
        if (enabled)
            pipe.CheckNothingHeld();
        offset += chunk;
    }
    // Whatever still waits is given up by a chunk that arrives while disabled;
    // that chunk's byte (the last one again) is only reported lost, never read.
    if (length > 0) {
        handler.SetEnabled(false);
        const std::uint32_t waiting = pipe.fed - pipe.accounted;
        Check(waiting <= 1028);
        pipe.Feed(stream + length - 1, 1);
    }
    Check(pipe.accounted == pipe.fed);
    checker.Unsubscribe();
    handler.Unsubscribe();
    return 0;
}
