#include "decoders/data_collector_parser.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/time_base.h"

namespace TolvarRT {

std::uint8_t PacketChecksum(std::uint8_t status, std::uint8_t type, const std::uint8_t* data, std::uint8_t length)
{
    unsigned sum = unsigned(status) + type + length;
    for (unsigned i = 0; i < length; ++i)
        sum += data[i];
    return std::uint8_t(sum);
}

CDataCollectorParser::~CDataCollectorParser()
{
    CBytePipeSubscriber::Unsubscribe();
}

int CDataCollectorParser::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                                  const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    Scan(data, length, firstIndex, timeStamp);
    while (state != State::Idle && PublishHeldPacket(timeStamp)) {
    }
    if (state == State::Idle)
        ReportLostUpTo(firstIndex + length);
    else
        TellPending();
    return 0;
}

void CDataCollectorParser::TellPending()
{
    CFrameCover* cover = Cover();
    if (cover == nullptr)
        return;
    // Every STX kept may start a packet; one not yet read to its LENGTH byte
    // may be the longest.
    for (unsigned at = 0; at < stored; ++at) {
        const void* stx = std::memchr(packet + at, kPacketStx, stored - at);
        if (stx == nullptr)
            break;
        at = unsigned(static_cast<const std::uint8_t*>(stx) - packet);
        const unsigned length = at + 3 < stored ? packet[at + 3] : kPacketMaxLength - kPacketOverhead;
        cover->Pending(packetStart + at, packetStart + at + length + kPacketOverhead);
    }
}

void CDataCollectorParser::Scan(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                                const TimeStamp& timeStamp)
{
    // Position in this run of the STX of the packet in progress; -1 when it
    // lies before the run.
    long restart = -1;
    for (long i = 0; i < long(length); ++i) {
        // Most of a mixed stream is not packets: skip to the next STX at once,
        // and take the data field of a packet in one piece.
        if (state == State::Idle) {
            const void* stx = std::memchr(data + i, kPacketStx, std::size_t(long(length) - i));
            if (stx == nullptr)
                return;
            i = static_cast<const std::uint8_t*>(stx) - data;
        } else if (state == State::Data && dataCount < declaredLength) {
            const long run = std::min<long>(long(declaredLength - dataCount), long(length) - i);
            unsigned sum = checksum;
            for (long k = 0; k < run; ++k)
                sum += data[i + k];
            std::memcpy(packet + stored, data + i, std::size_t(run));
            checksum = std::uint8_t(sum);
            stored += unsigned(run);
            dataCount += unsigned(run);
            i += run - 1;
            continue;
        }
        if (!Step(data[i], firstIndex + std::uint32_t(i), timeStamp)) {
            if (restart >= 0) {
                i = restart;
            } else {
                // The failed packet began before this run: scan its kept bytes
                // after the STX again, then this byte.
                std::uint8_t kept[kPacketMaxLength];
                const unsigned keptCount = stored - 1;
                std::memcpy(kept, packet + 1, keptCount);
                const std::uint32_t keptIndex = packetStart + 1;
                Scan(kept, keptCount, keptIndex, timeStamp);
                --i;
            }
            restart = -1;
            continue;
        }
        if (state == State::Status)
            restart = i;
    }
}

bool CDataCollectorParser::Step(std::uint8_t byte, std::uint32_t index, const TimeStamp& timeStamp)
{
    switch (state) {
    case State::Idle:
        if (byte == kPacketStx) {
            ReportLostUpTo(index);
            packet[0] = byte;
            stored = 1;
            packetStart = index;
            state = State::Status;
        }
        return true;
    case State::Status:
        checksum = byte;
        packet[stored++] = byte;
        state = State::Type;
        return true;
    case State::Type:
        checksum = std::uint8_t(checksum + byte);
        packet[stored++] = byte;
        state = State::Length;
        return true;
    case State::Length:
        checksum = std::uint8_t(checksum + byte);
        packet[stored++] = byte;
        declaredLength = byte;
        dataCount = 0;
        state = State::Data;
        return true;
    case State::Data:
        if (dataCount < declaredLength) {
            checksum = std::uint8_t(checksum + byte);
            packet[stored++] = byte;
            ++dataCount;
            return true;
        }
        if (byte != checksum) {
            state = State::Idle;
            return false;
        }
        packet[stored++] = byte;
        state = State::End;
        return true;
    case State::End:
        state = State::Idle;
        // A checksum that matched by chance (one stray STX in 256) does not
        // make a packet: without its ETX the scan restarts behind the STX,
        // as after a bad checksum, or the packets its length ran over would
        // be lost with it.
        if (byte != kPacketEtx)
            return false;
        endIndex = index + 1;
        packet[stored++] = byte;
        CompletePacket(timeStamp);
        return true;
    }
    return true;
}

void CDataCollectorParser::CompletePacket(const TimeStamp& timeStamp)
{
    const std::uint8_t status = packet[1];
    const std::uint8_t type = packet[2];
    const std::uint8_t length = packet[3];
    const std::uint8_t* data = packet + 4;
    publishedSpan = {endIndex - stored, stored};
    if (CFrameCover* cover = Cover())
        cover->Claim(publishedSpan.firstIndex, publishedSpan.count, true);
    parserLog.LogAll("Rx Vendcomm CMD=%x, LEN=%d, STATUS=%x, CS=%x, TIME=%0.4f", type, length, status, data[length],
                     SecondsSinceStart(timeStamp));
    parserLog.MixedDump("Data = ", data, length);
    TSubscription<IIncomingDCPipe>::Publish(
        [&](IIncomingDCPipe& handler) { handler.OnPacket(type, data, length, status, timeStamp); });
    if (type == kPacketIdentityReply) {
        identity = ParseIdentityText(reinterpret_cast<const char*>(data), length);
        parserLog.LogBasic("Received Id String\r\n\t%s\r\n", identity.text.c_str());
        identityEvent.Set();
    }
}

bool CDataCollectorParser::PublishHeldPacket(const TimeStamp& timeStamp)
{
    const unsigned lookedBefore = lookedStart == packetStart ? lookedTo : 0;
    lookedStart = packetStart;
    lookedTo = stored;
    if (stored < 1 + kPacketOverhead)
        return false;
    for (unsigned at = 1; at + kPacketOverhead <= stored; ++at) {
        const void* stx = std::memchr(packet + at, kPacketStx, stored - kPacketOverhead + 1 - at);
        if (stx == nullptr)
            return false;
        at = unsigned(static_cast<const std::uint8_t*>(stx) - packet);
        const std::uint8_t length = packet[at + 3];
        const unsigned end = at + length + kPacketOverhead;
        if (end <= lookedBefore || end > stored || packet[end - 1] != kPacketEtx ||
            PacketChecksum(packet[at + 1], packet[at + 2], packet + at + 4, length) != packet[end - 2])
            continue;

        const std::uint32_t heldStart = packetStart;
        ReportLostUpTo(heldStart + at);
        std::uint8_t behind[kPacketMaxLength];
        const unsigned behindCount = stored - end;
        std::memcpy(behind, packet + end, behindCount);
        std::memmove(packet, packet + at, end - at);
        stored = end - at;
        state = State::Idle;
        endIndex = heldStart + end;
        CompletePacket(timeStamp);
        Scan(behind, behindCount, heldStart + end, timeStamp);
        return true;
    }
    return false;
}

void CDataCollectorParser::ReportLostUpTo(std::uint32_t index)
{
    const std::uint32_t count = index - endIndex;
    if (count != 0)
        MarkLostBytes(endIndex, count);
    endIndex = index;
}

bool CDataCollectorParser::SendPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length,
                                      std::uint8_t status)
{
    std::uint8_t bytes[kPacketMaxLength];
    bytes[0] = kPacketStx;
    bytes[1] = status;
    bytes[2] = command;
    bytes[3] = length;
    if (length > 0)
        std::memcpy(bytes + 4, data, length);
    bytes[4 + length] = PacketChecksum(status, command, data, length);
    bytes[5 + length] = kPacketEtx;

    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (!SendBytes(bytes, length + kPacketOverhead))
        return false;
    parserLog.LogAll("Sending Data Colector Packet CMD=%x, LEN=%d, STATUS=%d, TIME=%0.4f", command, length, status,
                     SecondsSinceStart(TimeStampNow()));
    return true;
}

sDeviceIdentity CDataCollectorParser::Identity() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return identity;
}

void CDataCollectorParser::ClearIdentity()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    identity = sDeviceIdentity();
}

void CDataCollectorParser::ClearIdentityName()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    identity.text.clear();
    identity.productName.clear();
    identity.productField.clear();
}

}  // namespace TolvarRT
