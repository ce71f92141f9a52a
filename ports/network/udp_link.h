// The UDP link protocol without sockets or clocks of its own: the connect
// handshake, the running byte sequence, in-order delivery with a short
// reordering window, keep-alives and the answers the peer expects. The UDP
// port feeds it datagrams and the time; tests drive it the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/time_base.h"

namespace TolvarRT {

// Byte 2 of the header.
enum UDPDatagramType : std::uint8_t {
    kUdpData = 0x00,
    kUdpReconnectDemand = 0x01,
    kUdpReconnectDemandToo = 0x02,
    kUdpConnectRequest = 0x10,
    kUdpConnectRefused = 0x11,
    kUdpConnectAccepted = 0x12,
    kUdpDisconnect = 0x20,
    kUdpDisconnectAck = 0x22,
    kUdpBreakRequest = 0x30,
    kUdpBreakAck = 0x31,
    kUdpKeepAlive = 0x40,
    kUdpKeepAliveAnswer = 0x42,
};

// Where the link's datagrams go: the port's socket, or a test's record.
class IUDPDatagramSender {
public:
    virtual void SendDatagram(const std::uint8_t* data, std::size_t length) = 0;

protected:
    ~IUDPDatagramSender() = default;
};

// A received payload waiting for the callback; its buffer stays taken until
// Release.
struct sUDPPayload {
    int slot;
    const std::uint8_t* data;
    std::uint32_t length;
};

// Header: [0] header length (8 when sending; the payload starts there),
// [1] link id, [2] type, [3] 0, [4..7] sequence, big-endian: the sender's
// total of bytes sent in this connection up to and including this datagram.
//
// Thread rules: none of its own. The port calls everything under its port
// lock; the bytes of a payload handed out by TakeReady may be read without
// the lock until Release.
class CUDPLink {
public:
    enum class State { Closed, Connecting, Connected, Closing };

    static constexpr std::size_t kHeaderSize = 8;
    static constexpr std::size_t kMaxPayload = 1400;
    static constexpr std::size_t kMaxDatagram = 1500;
    static constexpr std::size_t kBufferSize = 1536;
    static constexpr int kPoolSize = 8;
    // A datagram is held behind a gap while at most this many are ahead of it.
    static constexpr int kMaxHeldAhead = 5;
    static constexpr double kGapSeconds = 0.33333;
    static constexpr unsigned kFirstKeepAliveSeconds = 15;
    static constexpr unsigned kKeepAliveGrowthSeconds = 5;

    explicit CUDPLink(IUDPDatagramSender& sender);
    CUDPLink(const CUDPLink&) = delete;
    CUDPLink& operator=(const CUDPLink&) = delete;

    // Starts a new connection: counts back to 0, every buffer free, state
    // Connecting, and the connect request sent.
    void Connect(TimeStamp now);
    // Connected: enters Closing and sends the disconnect; false otherwise.
    bool BeginDisconnect(TimeStamp now);
    // Still Closing: sends the disconnect once more.
    void RepeatDisconnect(TimeStamp now);
    // Forgets the connection and every held datagram; state Closed.
    void Reset();

    // One datagram of the given type. Payloads over 1400 bytes are dropped
    // (false). After a silence longer than the keep-alive interval, data goes
    // out as a keep-alive, so the peer answers and proves it is still there.
    bool Send(UDPDatagramType type, const std::uint8_t* payload, std::size_t length, TimeStamp now);

    // A buffer to receive one datagram of up to kMaxDatagram bytes into. With
    // none free, the first held datagram is delivered (its gap given up) to
    // make room; -1 when its buffer (or every buffer) still waits for the
    // callback: TakeReady and Release, then ask again.
    int AcquireBuffer(TimeStamp now);
    std::uint8_t* Buffer(int slot) { return slots[std::size_t(slot)].bytes.data(); }
    // The datagram received into slot: its full length, or negative when
    // nothing arrived (the buffer is free again either way unless held).
    void OnReceived(int slot, std::ptrdiff_t length, TimeStamp now);
    // The time-driven rules: gaps given up after kGapSeconds, keep-alives.
    void OnTimer(TimeStamp now);
    // Milliseconds until OnTimer has something to do (at least 0).
    int MillisecondsToDeadline(TimeStamp now) const;

    // Moves the payloads ready for the callback, in sequence order, into out
    // (room for kPoolSize); returns their count.
    int TakeReady(sUDPPayload* out);
    void Release(int slot);

    State GetState() const { return state; }
    std::uint8_t LinkId() const { return linkId; }
    std::uint32_t ExpectedSequence() const { return expectedSequence; }
    std::uint32_t SentTotal() const { return sentTotal; }
    unsigned KeepAliveInterval() const { return keepAliveInterval; }
    int HeldCount() const { return heldCount; }
    int FreeCount() const;

private:
    enum class Use { Free, Receiving, Held, Ready };
    struct sSlot {
        Use use = Use::Free;
        std::uint32_t length = 0;
        std::uint32_t payloadPosition = 0;
        std::uint32_t payloadLength = 0;
        std::uint32_t sequence = 0;
        TimeStamp arrival = 0;
        std::array<std::uint8_t, kBufferSize> bytes{};
    };

    void Hold(int slot, TimeStamp now);
    void DeliverFirstHeld(TimeStamp now);
    // Takes a datagram in sequence order, then every held one that follows
    // it without a gap.
    void Process(int slot, TimeStamp now);
    void HandleType(const sSlot& datagram, TimeStamp now);
    int PopFirstHeld();
    void FreeAllHeld();

    IUDPDatagramSender& sender;
    State state = State::Closed;
    std::uint32_t expectedSequence = 0;
    std::uint32_t sentTotal = 0;
    std::uint8_t linkId = 0;
    unsigned keepAliveInterval = kFirstKeepAliveSeconds;
    TimeStamp lastReceive = 0;
    std::array<sSlot, kPoolSize> slots;
    std::array<int, kPoolSize> held{};  // by sequence, lowest first
    int heldCount = 0;
    std::array<int, kPoolSize> ready{};  // in delivery order
    int readyCount = 0;
    std::array<std::uint8_t, kHeaderSize + kMaxPayload> outgoing{};
};

}  // namespace TolvarRT
