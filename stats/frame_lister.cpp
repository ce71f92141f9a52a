#include "stats/frame_lister.h"

#include <cstdio>

#include "stats/packet_stats.h"

namespace TolvarRT {

std::string PacketTypeName(unsigned type)
{
    char name[32];
    std::snprintf(name, sizeof name, "Packet Type 0x%02X", type);
    return name;
}

CFrameLister::~CFrameLister()
{
    Detach();
}

void CFrameLister::Place(eSlot slot, const CBytePipeSubscriber& decoder, const std::uint64_t& chunk)
{
    placing[slot] = &decoder;
    chunkIndex = &chunk;
}

void CFrameLister::AttachPackets(CBytePipeSubscriber& parser,
                                 TBiSubscription<IOutgoingDCPipe, IIncomingDCPipe>& packets,
                                 TSubscription<IIncommingCMRPipe>& cmr, const std::uint64_t& chunk)
{
    Place(kPacketSlot, parser, chunk);
    TSubscriber<IIncommingCMRPipe>::Subscribe(&cmr);
    TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe>::Subscribe(&packets);
}

void CFrameLister::Detach()
{
    TSubscriber<IIncommingCMRPipe>::Unsubscribe();
    TSubscriber<IIncommingRTCMPipe>::Unsubscribe();
    TSubscriber<IIncommingRTCM3Pipe>::Unsubscribe();
    TSubscriber<IIncommingNMEAPipe>::Unsubscribe();
    TSubscriber<IIncommingATSPipe>::Unsubscribe();
    TSubscriber<IIncomingDCPipe>::Unsubscribe();
}

void CFrameLister::List(eSlot slot, unsigned frameClass, unsigned type, const TimeStamp& stamp,
                        const sFrameContent& content)
{
    std::string name = frameClass == 0 ? PacketTypeName(type) : FrameName(FrameKey(frameClass, type));
    // A decoder's span may run across the 32-bit wrap of the running index;
    // the streams listed here are far shorter.
    const CBytePipeSubscriber::sByteSpan span = placing[slot]->PublishedSpan();
    sListedFrame frame{span.firstIndex, span.count, frameClass, type,  std::move(name),
                       *chunkIndex,     stamp,      false,      false, content};
    if (onFrame)
        onFrame(std::move(frame));
    else
        frames.push_back(std::move(frame));
}

// The CMR handler publishes inside the parser's OnPacket, before the packet
// reaches this lister: the frame is remembered and listed with its packet.
void CFrameLister::OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                              const TimeStamp&)
{
    framed = true;
    framedClass = kFrameClassCMR;
    framedType = type;
    // The bytes are borrowed only for this call.
    ReadCMRContent(type, data, length, framedContent);
}

void CFrameLister::OnCMRWFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&)
{
    framed = true;
    framedClass = kFrameClassCMRW;
    framedType = type;
    framedContent = {};
}

void CFrameLister::OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t, const TimeStamp&)
{
    // Keyed as the statistics key it: by the first data byte.
    framed = true;
    framedClass = kFrameClassSendTo;
    framedType = length > 0 ? data[0] : 0;
    framedContent = {};
}

void CFrameLister::OnPacket(std::uint8_t command, const std::uint8_t*, std::uint8_t, std::uint8_t,
                            const TimeStamp& stamp)
{
    if (framed)
        List(kPacketSlot, framedClass, framedType, stamp, framedContent);
    else
        List(kPacketSlot, 0, command, stamp);
    framed = false;
}

void CFrameLister::OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& stamp)
{
    sFrameContent content;
    ReadRTCM2Content(data, length, content);
    List(kRtcm2Slot, kFrameClassRTCM2, type, stamp, content);
}

void CFrameLister::OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& stamp)
{
    sFrameContent content;
    ReadRTCM3Content(data, length, content);
    List(kRtcm3Slot, kFrameClassRTCM3, type, stamp, content);
}

void CFrameLister::OnNMEASentence(unsigned type, const sNMEAPosition*, const char*, const TimeStamp& stamp)
{
    List(kNmeaSlot, kFrameClassNMEA, type, stamp);
}

void CFrameLister::OnATSFrame(unsigned type, const std::uint8_t*, std::uint16_t, const TimeStamp& stamp)
{
    List(kAtsSlot, kFrameClassATS, type, stamp);
}

}  // namespace TolvarRT
