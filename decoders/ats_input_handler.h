// ATS decoder: cuts the 0x80 ... 0x04 frames out of a port's byte stream, and
// builds and sends the frames of the fake ATS generator.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "core/byte_pipe_subscriber.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "core/weak_frame_gate.h"

namespace TolvarRT {

// A frame is 0x80, any bytes, and a closing 0x04, both included; one that
// reaches 256 bytes without a 0x04 is closed there. There is no checksum.
// Frames may span chunks. Bytes outside frames are reported with MarkLost; an
// open frame's bytes are reported only once its fate is known. Without a check
// of its own a frame lying wholly inside a strongly checked frame of the same
// pipe (a packet, an RTCM v3 frame) is a coincidence and is dropped, its bytes
// reported lost; one that such a frame still arriving may hold is held back
// until the pipe's strong decoders have decided (see core/weak_frame_gate.h).
//
// Thread rules: OnBytes runs on the port's reader thread and holds the shared
// lock throughout, subscribers included. SetEnabled, IsEnabled and
// BuildFakeATS may be called from any thread; they take the shared lock.
// SendFakeATS may be called from any thread while the byte pipe lives: it
// calls the pipe without holding the shared lock, since a delivery takes the
// pipe's lock before ours.
class CATSInputHandler : public CBytePipeSubscriber, public TSubscription<IIncommingATSPipe> {
public:
    static constexpr std::uint8_t kFrameStart = 0x80;
    static constexpr std::uint8_t kFrameEnd = 0x04;
    static constexpr std::uint32_t kMaxFrameLength = 256;
    static constexpr std::size_t kFakeATSLength = 15;
    using FakeATSFrame = std::array<std::uint8_t, kFakeATSLength>;

    explicit CATSInputHandler(CLogPipe* logPipe = nullptr);

    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;
    ~CATSInputHandler() override;
    // Delivers one frame to every subscriber; the decoder passes type 0.
    virtual void PublishATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                                 const TimeStamp& timeStamp);

    // Decoding is off after construction: every chunk is then reported lost.
    // A change drops a frame left open, and the next frame starts at a 0x80.
    void SetEnabled(bool flag);
    bool IsEnabled() const;

    // One generated frame: 0x80 0x06, then values A, B (0..6280000) and C
    // (0..1000000) as seven decimal digits each, packed two to a byte behind a
    // 0x9 nibble, then 0x99 0x04. A 0x04 before the end byte becomes 0xF4.
    void BuildFakeATS(FakeATSFrame& frame);
    // Writes a generated frame out through the byte pipe's port; false when
    // the handler is not attached or the port is closed.
    bool SendFakeATS(const FakeATSFrame& frame);
    // The packing of BuildFakeATS for given values. A value is written with
    // at least seven digits (leading zeros) and its first seven are packed.
    static void PackFakeATS(FakeATSFrame& frame, std::uint32_t valueA, std::uint32_t valueB, std::uint32_t valueC);

    CLogNode log;

private:
    using Gate = TWeakFrameGate<kMaxFrameLength + 1, 8>;

    void DropOpenFrame();
    void ReportLostUpTo(std::uint32_t index);
    void SettleHeld(unsigned giveUp);
    void CloseFrame(const TimeStamp& timeStamp);
    auto Lost()
    {
        return [this](std::uint32_t first, std::uint32_t lostCount) { MarkLostBytes(first, lostCount); };
    }
    auto PublishHeld()
    {
        return [this](const Gate::sFrame& held) {
            publishedSpan = {held.first, held.count};
            PublishATSFrame(0, held.bytes.data(), held.length, held.stamp);
        };
    }

    bool enabled = false;
    // Searching: waiting for 0x80. Otherwise a frame is open and its bytes go
    // to the buffer (with room for a terminating zero).
    bool searching = true;
    std::uint8_t frame[kMaxFrameLength + 1] = {};
    std::uint32_t count = 0;
    std::uint32_t frameStart = 0;  // running index of the open frame's 0x80
    // A frame dropped by SetEnabled, reported lost with the next chunk, on the
    // thread that delivers it.
    std::uint32_t droppedStart = 0;
    std::uint32_t droppedCount = 0;
    // Where the next chunk continues the stream; any other start is a gap.
    std::uint32_t nextIndex = 0;
    Gate gate;
    std::minstd_rand random;  // values of the generated frames
};

}  // namespace TolvarRT
