// What every decoder of a port's byte stream is: a subscriber to the byte
// pipe with its back channel. It lives apart from the byte pipe so that the
// decoders depend on this interface alone, not on the port that feeds them.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/frame_cover.h"
#include "core/pipes.h"
#include "core/subscription.h"

namespace TolvarRT {

// The decoder side of a byte pipe: every decoder derives from it.
class CBytePipeSubscriber : public TBiSubscriber<IIncomingBytePipe, ILostBytePipe> {
public:
    // Running indices [firstIndex, firstIndex + count) of a frame's bytes.
    struct sByteSpan {
        std::uint32_t firstIndex = 0;
        std::uint32_t count = 0;
    };
    // Where the frame being published lies in the stream, for a subscriber
    // that places frames in a capture; good only inside its frame call.
    sByteSpan PublishedSpan() const { return publishedSpan; }
    // Whether it reports every byte it cannot use with MarkLost, as every
    // decoder does: a byte that all such subscribers report is one no
    // decoder could use. A subscriber that takes every byte as it comes (a
    // recorder) reports none and says no.
    virtual bool ReportsUnusedBytes() const { return true; }

protected:
    sByteSpan publishedSpan;

    // Back-channel calls that tolerate a detached decoder. The pipe is called
    // without taking the decoder's lock: a delivery takes the pipe's lock
    // before the decoder's, so a sender on another thread must not take them
    // the other way round (inside OnBytes the pipe's lock is already held).
    void MarkLostBytes(std::uint32_t firstIndex, std::uint32_t count)
    {
        if (ILostBytePipe* pipe = BackChannel())
            pipe->MarkLost(firstIndex, count);
    }
    bool SendBytes(const std::uint8_t* data, std::uint32_t length)
    {
        ILostBytePipe* pipe = BackChannel();
        return pipe != nullptr && pipe->Send(data, length);
    }

    // The pipe's frame cover, or null (detached, or a pipe without one).
    CFrameCover* Cover() const
    {
        ILostBytePipe* pipe = BackChannel();
        return pipe != nullptr ? pipe->FrameCover() : nullptr;
    }

private:
    ILostBytePipe* BackChannel() const
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        return Back();
    }
};

// Hands one chunk to every decoder of a pipe: first those whose frames carry a
// strong check, then the rest, each group in attach order; deliver(decoder)
// makes the call. A pipe with a frame cover begins its chunk there first.
template <class Deliver>
void DeliverChunk(TSubscription<IIncomingBytePipe>& pipe, Deliver&& deliver)
{
    for (const bool strong : {true, false})
        pipe.Publish([&](IIncomingBytePipe& decoder) {
            if (decoder.ChecksFramesStrongly() == strong)
                deliver(decoder);
        });
}

}  // namespace TolvarRT
