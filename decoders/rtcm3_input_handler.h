// The RTCM v3 decoder of one port: cuts the port's byte stream into RTCM 3
// frames, publishes and logs each one, and reports every other byte lost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/byte_pipe_subscriber.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/rtcm3_parser.h"

namespace TolvarRT {

// Every byte it is handed ends up either in a published frame or in exactly
// one MarkLost report, in stream order; bytes of a frame still arriving are
// reported (or published) by a later chunk.
//
// Thread rules: OnBytes runs on the port's reader thread and holds the shared
// lock throughout, frame subscribers being called under it. SetEnabled,
// SetName and the accessors take the same lock and may be called from any
// thread; so may SendFrame. The owner subscribes and unsubscribes it on its own thread.
class CRTCM3InputHandler : public CBytePipeSubscriber, public TSubscription<IIncommingRTCM3Pipe> {
public:
    // The scanner is fed at most this much at a time.
    static constexpr std::uint32_t kSliceSize = 128;

    explicit CRTCM3InputHandler(CLogPipe* logPipe = nullptr);
    ~CRTCM3InputHandler() override;

    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;

    // A CRC-24Q: its frames claim their bytes on the cover.
    bool ChecksFramesStrongly() const override { return true; }

    // While disabled every chunk is reported lost whole and nothing is published.
    void SetEnabled(bool flag);
    bool IsEnabled() const;
    // Starts each frame's log line.
    void SetName(const std::string& newName);
    // Writes a whole frame (the fake RTCM v3 generator's) out through the
    // byte pipe's port; false when detached or the port is closed. Any
    // thread: the pipe is called without the shared lock.
    bool SendFrame(const std::uint8_t* frame, std::uint32_t length) { return SendBytes(frame, length); }

    CLogNode log;

private:
    // Reports the bytes waiting in the ring lost and empties it.
    void DiscardPending();
    void ReportLost(std::uint32_t firstIndex, std::uint32_t count);
    void Deliver(unsigned messageNumber, const std::uint8_t* payload, std::uint16_t length, const TimeStamp& timeStamp);

    std::unique_ptr<CRTCM3Parser> parser;
    std::string name;
    std::uint8_t enabled = 1;
    // Where the next chunk continues the stream; any other start is a gap.
    std::uint32_t nextIndex = 0;
    // Running index of the first byte waiting in the parser's ring.
    std::uint32_t pendingIndex = 0;
};

}  // namespace TolvarRT
