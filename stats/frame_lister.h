// Places every frame a port's decoders publish in the stream they read: where
// it lies, what the statistics call it, and which chunk published it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/byte_pipe_subscriber.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/frame_content.h"

namespace TolvarRT {

struct sListedFrame {
    std::uint64_t offset = 0;  // of the first byte, from the start of the streams
    std::uint64_t length = 0;
    unsigned frameClass = 0;  // 0: a data-collector packet that carries no frame
    unsigned type = 0;
    std::string name;
    std::uint64_t chunk = 0;  // the chunk whose delivery published it, from 0
    TimeStamp stamp = 0;      // the one it was published with
    // A run of bytes in no frame; held when some decoder never gave it up.
    bool lost = false;
    bool held = false;
    // What an RTCM v3, RTCM v2 or CMR frame says about itself.
    sFrameContent content;
};

// How the packet parser's packets without a frame inside are named.
std::string PacketTypeName(unsigned type);

// Thread rules: one feeding thread, as a port's reader.
class CFrameLister : public TSubscriber<IIncommingCMRPipe>,
                     public TSubscriber<IIncommingRTCMPipe>,
                     public TSubscriber<IIncommingRTCM3Pipe>,
                     public TSubscriber<IIncommingNMEAPipe>,
                     public TSubscriber<IIncommingATSPipe>,
                     public TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
public:
    ~CFrameLister() override;

    // Lists the frames a decoder publishes on Pipe while chunk holds the
    // index of the chunk being delivered. One decoder of each kind at a time
    // (they may share a pipe).
    template <class Pipe>
    void Attach(CBytePipeSubscriber& decoder, TSubscription<Pipe>& frames, const std::uint64_t& chunk)
    {
        Place(SlotOf<Pipe>(), decoder, chunk);
        TSubscriber<Pipe>::Subscribe(&frames);
    }
    // Packets are named by the frame their CMR handler finds in them, so it
    // must be attached to the parser before this.
    void AttachPackets(CBytePipeSubscriber& parser, TBiSubscription<IOutgoingDCPipe, IIncomingDCPipe>& packets,
                       TSubscription<IIncommingCMRPipe>& cmr, const std::uint64_t& chunk);
    void Detach();

    // In the order published.
    std::vector<sListedFrame> frames;
    // When set, each frame goes here as it is published instead of into
    // frames, for a listing that must not grow with the stream.
    std::function<void(sListedFrame&&)> onFrame;

    void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                    const TimeStamp& timeStamp) override;
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                     const TimeStamp& timeStamp) override;
    void OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                       const TimeStamp& timeStamp) override;
    void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                     const TimeStamp& timeStamp) override;
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TimeStamp& timeStamp) override;
    void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                        const TimeStamp& timeStamp) override;
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& timeStamp) override;
    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TimeStamp& timeStamp) override;

private:
    // Which decoder's published span places a frame.
    enum eSlot : unsigned { kPacketSlot, kRtcm2Slot, kRtcm3Slot, kNmeaSlot, kAtsSlot, kSlots };
    template <class Pipe>
    static constexpr eSlot SlotOf()
    {
        if constexpr (std::is_same_v<Pipe, IIncommingRTCMPipe>)
            return kRtcm2Slot;
        else if constexpr (std::is_same_v<Pipe, IIncommingRTCM3Pipe>)
            return kRtcm3Slot;
        else if constexpr (std::is_same_v<Pipe, IIncommingNMEAPipe>)
            return kNmeaSlot;
        else
            return kAtsSlot;
    }
    void Place(eSlot slot, const CBytePipeSubscriber& decoder, const std::uint64_t& chunk);
    void List(eSlot slot, unsigned frameClass, unsigned type, const TimeStamp& stamp,
              const sFrameContent& content = {});

    const CBytePipeSubscriber* placing[kSlots] = {};
    const std::uint64_t* chunkIndex = nullptr;
    // The frame the CMR handler found in the packet being published.
    bool framed = false;
    unsigned framedClass = 0;
    unsigned framedType = 0;
    sFrameContent framedContent;
};

}  // namespace TolvarRT
