// A port on a TCP client connection, for devices behind a serial-to-network
// converter. It keeps reconnecting: a lost connection never closes the port.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "ports/network_serial_port.h"
#include "ports/socket.h"

namespace TolvarRT {

// Thread rules: as for every port (Open, Configure, StartThread and Close by
// the owner; QueueWrite, QueueWriteFirst, SendBreak and Purge from any
// thread). Sends run on the caller's thread under the port lock, which also
// guards the socket and the connection state against the reader thread. The
// reader thread is the only one that replaces the socket while the port is
// open, and the only caller of the callback.
class CTCPSerialPort : public CNetworkSerialPort {
public:
    using CNetworkSerialPort::CNetworkSerialPort;
    ~CTCPSerialPort() override;

    // "TCP:host[:port]", port 4044 when absent. Fails when already open or
    // when the first connect fails (FailureReason says why); later losses
    // are bridged by reconnecting.
    bool Open(const char* portName) override;
    // True from a successful Open until Close, also while reconnecting.
    bool IsOpen() override;
    bool Close() override;
    // Sent at once when connected, dropped otherwise.
    void QueueWrite(OwnedPortBuffer buffer) override;
    // The milliseconds are not used: the converter is asked for a break with a
    // "TCPBREAK" packet 300 ms after the call.
    void SendBreak(unsigned milliseconds) override;

    bool IsConnected();
    // Connection attempts of the reader thread since Open.
    unsigned ReconnectAttempts() const { return reconnectAttempts.load(); }

private:
    enum class State { Closed, Reconnecting, Connected, Closing };

    void ThreadMain() override;
    void Send(const std::uint8_t* data, std::size_t length);
    // With the port lock held: fd failed; the reader thread takes it from here.
    void MarkLost(int fd);

    std::mutex portLock;
    int sock = -1;
    // Written under the port lock; read without it by IsOpen and IsConnected,
    // which must not wait for a send in progress.
    std::atomic<State> state{State::Closed};
    sNetAddress address;  // written by Open only, before the thread starts
    std::atomic<unsigned> reconnectAttempts{0};
};

}  // namespace TolvarRT
