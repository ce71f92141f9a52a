// Plain UDP, as GNSS stream tools send corrections: every datagram's bytes
// are the stream, with no header, handshake or resend. "UDPSVR:[addr:]port"
// receives the datagrams sent to that port (on 127.0.0.1 unless an address is
// given); "UDPCLI:host[:port]" sends to host and hears what comes back.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "ports/network/network_serial_port.h"
#include "ports/network/socket.h"

namespace TolvarRT {

enum class PlainUDPRole { Receiver, Sender };

// The role and address a "UDPSVR:" or "UDPCLI:" name gives; false with a
// reason for another name or a malformed address.
bool ParsePlainUDPPortName(std::string_view name, PlainUDPRole& role, sNetAddress& address, std::string& failure);

// Thread rules: as for every port. The reader thread alone receives; writes
// are sent on the caller's thread, one datagram each, under the send lock,
// which Open and Close take to set and close the socket.
class CPlainUDPPort : public CNetworkSerialPort {
public:
    // The largest payload of a UDP datagram over IPv4.
    static constexpr std::size_t kMaxDatagram = 65507;

    using CNetworkSerialPort::CNetworkSerialPort;
    ~CPlainUDPPort() override;

    // Binds the receiver's port or sets the sender's peer; fails on a
    // malformed name or a port another program holds.
    bool Open(const char* portName) override;
    bool IsOpen() override { return open.load(); }
    bool Close() override;
    // One datagram to the sender's peer. A receiver has no peer to answer:
    // its writes are dropped and counted.
    void QueueWrite(OwnedPortBuffer buffer) override;
    void SendBreak(unsigned /*milliseconds*/) override {}

    // The port bound (a receiver opened on port 0 takes any free one).
    std::uint16_t LocalPort() const { return localPort.load(); }
    std::uint64_t DatagramsReceived() const { return datagrams.load(); }
    std::uint64_t WritesDropped() const { return dropped.load(); }

private:
    void ThreadMain() override;

    std::mutex sendLock;
    int sock = -1;                               // under the send lock; the reader thread's while it runs
    PlainUDPRole role = PlainUDPRole::Receiver;  // under the send lock
    std::atomic<bool> open{false};
    std::atomic<std::uint16_t> localPort{0};
    std::atomic<std::uint64_t> datagrams{0};
    std::atomic<std::uint64_t> dropped{0};
};

}  // namespace TolvarRT
