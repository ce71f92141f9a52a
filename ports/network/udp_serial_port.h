// A port on the UDP link protocol: a connect handshake with the converter,
// then datagrams numbered by a running byte sequence, delivered in order.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "ports/network/network_serial_port.h"
#include "ports/network/socket.h"
#include "ports/network/udp_link.h"

namespace TolvarRT {

// Thread rules: as for every port (Open, Configure, StartThread and Close by
// the owner; QueueWrite, QueueWriteFirst, SendBreak and Purge from any
// thread). The port lock guards the link (its numbering, state and buffers)
// and every send; the callback runs on the reader thread without it, so a
// receiver may send from inside the callback.
class CUDPSerialPort : public CNetworkSerialPort, private IUDPDatagramSender {
public:
    static constexpr std::chrono::milliseconds kDefaultAcceptTimeout{5000};

    using CNetworkSerialPort::CNetworkSerialPort;
    ~CUDPSerialPort() override;

    // "UDP:host[:port]", port 4044 when absent. Sends the connect request and
    // waits for the accept at most the accept time-out. Fails when already
    // open, refused (by the peer, or by the system when nothing listens) or
    // unanswered; FailureReason tells these apart.
    bool Open(const char* portName) override;
    // True from a successful Open until Close, whatever the link's state.
    bool IsOpen() override;
    // Says goodbye to a connected peer and waits up to about 2 s for it.
    bool Close() override;
    // One data datagram when connected; dropped when not, or when longer than
    // 1400 bytes.
    void QueueWrite(OwnedPortBuffer buffer) override;
    // The milliseconds are not used: the converter is asked for a break.
    void SendBreak(unsigned milliseconds) override;

    void SetAcceptTimeout(std::chrono::milliseconds timeout) { acceptTimeout = timeout; }
    bool IsConnected();
    std::uint8_t LinkId();

private:
    void SendDatagram(const std::uint8_t* data, std::size_t length) override;
    void SendPayload(UDPDatagramType type, const std::uint8_t* data, std::size_t length);
    void ThreadMain() override;
    // One receive and the timer rules, under the port lock. False when a
    // datagram waits but every buffer is still out for delivery.
    bool Step(bool readable);
    // Steps on the caller's thread while the link is in state, for at most
    // timeout (Open and Close, with the reader thread stopped).
    void RunWhile(CUDPLink::State state, std::chrono::milliseconds timeout);
    void DeliverReady();

    std::mutex portLock;
    int sock = -1;  // replaced only while the reader thread is stopped
    bool open = false;
    // The last receive error (ECONNREFUSED when nothing listens); Open reads it.
    int socketError = 0;
    CUDPLink link{*this};
    std::chrono::milliseconds acceptTimeout = kDefaultAcceptTimeout;
};

}  // namespace TolvarRT
