// Sequencing, reordering and the answers of the UDP link protocol. Sequences
// are compared modulo 2^32, so a long-lived link survives the wrap.
#include "ports/network/udp_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace TolvarRT {
namespace {

// a comes before b in sequence space.
bool Before(std::uint32_t a, std::uint32_t b)
{
    return std::int32_t(a - b) < 0;
}

std::uint32_t ReadBigEndian32(const std::uint8_t* bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

}  // namespace

CUDPLink::CUDPLink(IUDPDatagramSender& sender) : sender(sender) {}

void CUDPLink::Reset()
{
    for (sSlot& slot : slots)
        slot.use = Use::Free;
    heldCount = 0;
    readyCount = 0;
    state = State::Closed;
}

void CUDPLink::Connect(TimeStamp now)
{
    Reset();
    expectedSequence = 0;
    sentTotal = 0;
    linkId = 0;
    keepAliveInterval = kFirstKeepAliveSeconds;
    lastReceive = now;
    state = State::Connecting;
    Send(kUdpConnectRequest, nullptr, 0, now);
}

bool CUDPLink::BeginDisconnect(TimeStamp now)
{
    if (state != State::Connected)
        return false;
    state = State::Closing;
    Send(kUdpDisconnect, nullptr, 0, now);
    return true;
}

void CUDPLink::RepeatDisconnect(TimeStamp now)
{
    if (state == State::Closing)
        Send(kUdpDisconnect, nullptr, 0, now);
}

bool CUDPLink::Send(UDPDatagramType type, const std::uint8_t* payload, std::size_t length, TimeStamp now)
{
    if (length > kMaxPayload)
        return false;
    if (type == kUdpData && SecondsBetween(now, lastReceive) > double(keepAliveInterval)) {
        type = kUdpKeepAlive;
        keepAliveInterval += kKeepAliveGrowthSeconds;
    }
    sentTotal += std::uint32_t(length + kHeaderSize);
    outgoing[0] = std::uint8_t(kHeaderSize);
    outgoing[1] = linkId;
    outgoing[2] = type;
    outgoing[3] = 0;
    outgoing[4] = std::uint8_t(sentTotal >> 24);
    outgoing[5] = std::uint8_t(sentTotal >> 16);
    outgoing[6] = std::uint8_t(sentTotal >> 8);
    outgoing[7] = std::uint8_t(sentTotal);
    if (length > 0)
        std::memcpy(outgoing.data() + kHeaderSize, payload, length);
    sender.SendDatagram(outgoing.data(), kHeaderSize + length);
    return true;
}

int CUDPLink::FreeCount() const
{
    return int(std::count_if(slots.begin(), slots.end(), [](const sSlot& slot) { return slot.use == Use::Free; }));
}

int CUDPLink::AcquireBuffer(TimeStamp now)
{
    auto freeSlot = [this] {
        for (int k = 0; k < kPoolSize; ++k) {
            if (slots[std::size_t(k)].use == Use::Free)
                return k;
        }
        return -1;
    };
    int slot = freeSlot();
    // Every buffer is held behind a gap: giving up the oldest gap is better
    // than going deaf. The one delivered may still have to pass through the
    // callback before its buffer is free.
    if (slot < 0 && heldCount > 0) {
        DeliverFirstHeld(now);
        slot = freeSlot();
    }
    if (slot >= 0)
        slots[std::size_t(slot)].use = Use::Receiving;
    return slot;
}

void CUDPLink::OnReceived(int slot, std::ptrdiff_t length, TimeStamp now)
{
    sSlot& datagram = slots[std::size_t(slot)];
    datagram.use = Use::Free;
    // Too short for a header, or longer than any datagram of the link (cut
    // off by the receive).
    if (length < std::ptrdiff_t(kHeaderSize) || length > std::ptrdiff_t(kMaxDatagram))
        return;
    const std::uint32_t size = std::uint32_t(length);
    const std::uint32_t headerLength = datagram.bytes[0];
    if (headerLength < kHeaderSize || headerLength > size)
        return;
    const std::uint32_t sequence = ReadBigEndian32(&datagram.bytes[4]);
    // While connecting, whatever the peer sends is taken as it comes: its
    // numbering of the new connection is not known yet.
    if (state != State::Connecting) {
        // Old, or repeated by the network.
        if (Before(sequence, expectedSequence + size))
            return;
        if (datagram.bytes[1] != linkId)
            return;
    }
    datagram.use = Use::Receiving;
    datagram.length = size;
    datagram.payloadPosition = headerLength;
    datagram.payloadLength = size - headerLength;
    datagram.sequence = sequence;
    datagram.arrival = now;
    if (state == State::Connecting || sequence == expectedSequence + size)
        Process(slot, now);
    else
        Hold(slot, now);
}

void CUDPLink::Hold(int slot, TimeStamp now)
{
    sSlot& datagram = slots[std::size_t(slot)];
    int position = 0;
    while (position < heldCount &&
           !Before(datagram.sequence, slots[std::size_t(held[std::size_t(position)])].sequence)) {
        // The same datagram again while the first copy waits.
        if (slots[std::size_t(held[std::size_t(position)])].sequence == datagram.sequence) {
            datagram.use = Use::Free;
            return;
        }
        ++position;
    }
    // Entries looked at, including the first one with a higher sequence.
    const int examined = position < heldCount ? position + 1 : heldCount;
    std::copy_backward(held.begin() + position, held.begin() + heldCount, held.begin() + heldCount + 1);
    held[std::size_t(position)] = slot;
    ++heldCount;
    datagram.use = Use::Held;
    if (examined > kMaxHeldAhead)
        DeliverFirstHeld(now);
}

int CUDPLink::PopFirstHeld()
{
    const int slot = held[0];
    std::copy(held.begin() + 1, held.begin() + heldCount, held.begin());
    --heldCount;
    return slot;
}

void CUDPLink::FreeAllHeld()
{
    while (heldCount > 0)
        slots[std::size_t(PopFirstHeld())].use = Use::Free;
}

void CUDPLink::DeliverFirstHeld(TimeStamp now)
{
    if (heldCount > 0)
        Process(PopFirstHeld(), now);
}

void CUDPLink::Process(int slot, TimeStamp now)
{
    for (;;) {
        sSlot& datagram = slots[std::size_t(slot)];
        expectedSequence = datagram.sequence;
        HandleType(datagram, now);
        lastReceive = now;
        keepAliveInterval = kFirstKeepAliveSeconds;
        if (state == State::Connected && datagram.payloadLength > 0) {
            datagram.use = Use::Ready;
            ready[std::size_t(readyCount++)] = slot;
        } else {
            datagram.use = Use::Free;
        }
        // Held datagrams that the one just taken overlaps can only be stale.
        while (heldCount > 0 && !Before(expectedSequence, slots[std::size_t(held[0])].sequence))
            slots[std::size_t(PopFirstHeld())].use = Use::Free;
        if (heldCount == 0)
            return;
        const sSlot& next = slots[std::size_t(held[0])];
        if (next.sequence - next.length != expectedSequence)
            return;
        slot = PopFirstHeld();
    }
}

void CUDPLink::HandleType(const sSlot& datagram, TimeStamp now)
{
    const std::uint8_t theirLinkId = datagram.bytes[1];
    switch (datagram.bytes[2]) {
    case kUdpReconnectDemand:
    case kUdpReconnectDemandToo:
        if (state == State::Connected && theirLinkId != 0) {
            state = State::Connecting;
            Send(kUdpConnectRequest, nullptr, 0, now);
            linkId = 0;
            // The peer may number the new connection from 0 again; what it
            // sent before the demand belongs to the old one.
            expectedSequence = 0;
            FreeAllHeld();
        }
        break;
    case kUdpConnectRefused:
        if (state == State::Connecting)
            state = State::Closed;
        break;
    case kUdpConnectAccepted:
        if (state == State::Connecting && theirLinkId != 0) {
            state = State::Connected;
            linkId = theirLinkId;
        }
        break;
    case kUdpDisconnect:
        if (state == State::Connected) {
            Send(kUdpDisconnectAck, nullptr, 0, now);
            state = State::Closed;
        }
        break;
    case kUdpDisconnectAck:
        if (state == State::Closing)
            state = State::Closed;
        break;
    case kUdpBreakRequest:
        if (state == State::Connected)
            Send(kUdpBreakAck, nullptr, 0, now);
        break;
    case kUdpKeepAlive:
        if (state == State::Connected)
            Send(kUdpKeepAliveAnswer, nullptr, 0, now);
        break;
    default: break;  // data, and answers that need nothing more
    }
}

void CUDPLink::OnTimer(TimeStamp now)
{
    while (heldCount > 0 && SecondsBetween(now, slots[std::size_t(held[0])].arrival) > kGapSeconds)
        DeliverFirstHeld(now);
    if (SecondsBetween(now, lastReceive) > double(keepAliveInterval)) {
        keepAliveInterval += kKeepAliveGrowthSeconds;
        // A connect request lost after a reconnect demand would leave the
        // link deaf for good; ask again instead of only probing.
        Send(state == State::Connecting ? kUdpConnectRequest : kUdpKeepAlive, nullptr, 0, now);
    }
}

int CUDPLink::MillisecondsToDeadline(TimeStamp now) const
{
    double seconds = double(keepAliveInterval) - SecondsBetween(now, lastReceive);
    if (heldCount > 0)
        seconds = std::min(seconds, kGapSeconds - SecondsBetween(now, slots[std::size_t(held[0])].arrival));
    if (seconds <= 0)
        return 0;
    // One more millisecond, since the rules fire only once a time is exceeded.
    return int(std::min(std::ceil(seconds * 1000.0), 3600000.0)) + 1;
}

int CUDPLink::TakeReady(sUDPPayload* out)
{
    const int count = readyCount;
    for (int k = 0; k < count; ++k) {
        const sSlot& datagram = slots[std::size_t(ready[std::size_t(k)])];
        out[k] = sUDPPayload{ready[std::size_t(k)], datagram.bytes.data() + datagram.payloadPosition,
                             datagram.payloadLength};
    }
    readyCount = 0;
    return count;
}

void CUDPLink::Release(int slot)
{
    if (slot >= 0 && slot < kPoolSize && slots[std::size_t(slot)].use == Use::Ready)
        slots[std::size_t(slot)].use = Use::Free;
}

}  // namespace TolvarRT
