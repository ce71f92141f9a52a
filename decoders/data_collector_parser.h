// Cuts data-collector packets out of a port's byte stream, publishes every
// good one, frames outgoing packets, and keeps the identity the device
// reported.
#pragma once

#include <cstdint>

#include "core/byte_pipe_subscriber.h"
#include "core/event.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/dc_identity.h"
#include "decoders/dc_packet.h"

namespace TolvarRT {

// Thread rules: OnBytes runs on the port's reader thread under the shared
// lock, and packet consumers run inside it. SendPacket may be called from any
// thread. The identity is written on the reader thread; read it with
// Identity().
//
// After a bad checksum the scan restarts at the byte after the failed packet's
// STX. The bytes of the packet in progress are kept, so the restart does not
// depend on where the port cut the stream.
//
// A stray STX with a large length byte would otherwise hold every packet behind
// it until enough bytes came to reject it, or for ever on a line gone quiet: a
// whole packet with a good checksum and ETX inside the one still arriving is
// published with the chunk that completed it, and the packet in progress is
// given up.
class CDataCollectorParser : public TBiSubscription<IOutgoingDCPipe, IIncomingDCPipe>, public CBytePipeSubscriber {
public:
    explicit CDataCollectorParser(CLogNode& logNode) : parserLog(logNode) {}
    ~CDataCollectorParser() override;

    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;
    bool SendPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status) override;

    sDeviceIdentity Identity() const;
    // A checksum and an end byte: its packets claim their bytes on the cover.
    bool ChecksFramesStrongly() const override { return true; }

protected:
    void ClearIdentity();
    void ClearIdentityName();

    CEvent identityEvent{CEvent::Reset::Auto};

private:
    enum class State { Idle, Status, Type, Length, Data, End };

    // Feeds a run of bytes whose first has running index firstIndex.
    void Scan(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex, const TimeStamp& timeStamp);
    // One byte through the state machine; false when it is rejected.
    bool Step(std::uint8_t byte, std::uint32_t index, const TimeStamp& timeStamp);
    void CompletePacket(const TimeStamp& timeStamp);
    // Publishes the first whole packet that lies after the STX of the packet
    // still arriving, gives that one up and scans on behind it; false when
    // there is none.
    bool PublishHeldPacket(const TimeStamp& timeStamp);
    void ReportLostUpTo(std::uint32_t index);
    // Tells the cover where packets still arriving may lie: from each STX
    // kept to the end its length announces.
    void TellPending();

    CLogNode& parserLog;
    State state = State::Idle;
    std::uint8_t packet[kPacketMaxLength + 1] = {};
    unsigned stored = 0;            // bytes of the packet in progress, STX included
    std::uint32_t packetStart = 0;  // running index of its STX
    std::uint8_t declaredLength = 0;
    unsigned dataCount = 0;
    std::uint8_t checksum = 0;
    std::uint32_t endIndex = 0;  // just after the last byte accounted for
    // Packets inside the one starting at lookedStart that end within its first
    // lookedTo bytes were looked at and turned down already.
    std::uint32_t lookedStart = 0;
    unsigned lookedTo = 0;
    sDeviceIdentity identity;
};

}  // namespace TolvarRT
