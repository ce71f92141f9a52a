// Places every frame the Listener's decoders publish in the stream they read:
// where it lies, what the statistics call it, and which chunk published it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/pipes.h"
#include "core/subscription.h"
#include "ports/byte_pipe.h"

namespace cli {

struct sListedFrame {
    std::uint64_t offset = 0;  // of the first byte, from the start of the streams
    std::uint64_t length = 0;
    unsigned frameClass = 0;   // 0: a data-collector packet that carries no frame
    unsigned type = 0;
    std::string name;
    std::uint64_t chunk = 0;   // the chunk whose delivery published it, from 0
    // A run of bytes in no frame; held when some decoder never gave it up.
    bool lost = false;
    bool held = false;
};

// How the packet parser's packets without a frame inside are named.
std::string PacketTypeName(unsigned type);

// Thread rules: one feeding thread, as a port's reader.
class CFrameLister : public TolvarRT::TSubscriber<TolvarRT::IIncommingCMRPipe>,
                     public TolvarRT::TSubscriber<TolvarRT::IIncommingRTCMPipe>,
                     public TolvarRT::TSubscriber<TolvarRT::IIncommingRTCM3Pipe>,
                     public TolvarRT::TSubscriber<TolvarRT::IIncommingNMEAPipe>,
                     public TolvarRT::TSubscriber<TolvarRT::IIncommingATSPipe>,
                     public TolvarRT::TBiSubscriber<TolvarRT::IIncomingDCPipe, TolvarRT::IOutgoingDCPipe> {
public:
    ~CFrameLister() override;

    // Lists the frames a decoder publishes on Pipe while chunk holds the
    // index of the chunk being delivered.
    template <class Pipe>
    void Attach(TolvarRT::CBytePipeSubscriber& decoder, TolvarRT::TSubscription<Pipe>& frames,
                const std::uint64_t& chunk)
    {
        Place(decoder, chunk);
        TolvarRT::TSubscriber<Pipe>::Subscribe(&frames);
    }
    // Packets are named by the frame their CMR handler finds in them, so it
    // must be attached to the parser before this.
    void AttachPackets(TolvarRT::CBytePipeSubscriber& parser,
                       TolvarRT::TBiSubscription<TolvarRT::IOutgoingDCPipe, TolvarRT::IIncomingDCPipe>& packets,
                       TolvarRT::TSubscription<TolvarRT::IIncommingCMRPipe>& cmr, const std::uint64_t& chunk);
    void Detach();

    // In the order published.
    std::vector<sListedFrame> frames;

    void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                    const TolvarRT::TimeStamp& timeStamp) override;
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                     const TolvarRT::TimeStamp& timeStamp) override;
    void OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                       const TolvarRT::TimeStamp& timeStamp) override;
    void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                     const TolvarRT::TimeStamp& timeStamp) override;
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TolvarRT::TimeStamp& timeStamp) override;
    void OnNMEASentence(unsigned type, const TolvarRT::sNMEAPosition* position, const char* text,
                        const TolvarRT::TimeStamp& timeStamp) override;
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                    const TolvarRT::TimeStamp& timeStamp) override;
    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TolvarRT::TimeStamp& timeStamp) override;

private:
    void Place(const TolvarRT::CBytePipeSubscriber& decoder, const std::uint64_t& chunk);
    void List(unsigned frameClass, unsigned type);

    const TolvarRT::CBytePipeSubscriber* placing = nullptr;
    const std::uint64_t* chunkIndex = nullptr;
    // The frame the CMR handler found in the packet being published.
    bool framed = false;
    unsigned framedClass = 0;
    unsigned framedType = 0;
};

}  // namespace cli
