// A port on a TCP client connection, for devices behind a serial-to-network
// converter. It keeps reconnecting: a lost connection never closes the port.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "core/log_pipe.h"
#include "ports/network/network_serial_port.h"
#include "ports/network/socket.h"
#include "ports/platform/event_fd.h"
#include "ports/port_write_queue.h"

namespace TolvarRT {

// Thread rules: as for every port (Open, Configure, StartThread and Close by
// the owner; QueueWrite, QueueWriteFirst, SendBreak and Purge from any
// thread). Writes are queued under the queue lock and sent by the reader
// thread without blocking, so neither a caller (holding its byte pipe's
// lock) nor the bytes received wait for a peer that reads slowly. The port
// lock guards the socket and the connection state; the reader thread is the
// only one that replaces the socket while the port is open, the only one
// that sends, and the only caller of the callback.
class CTCPSerialPort : public CNetworkSerialPort {
public:
    // What may wait to be sent: the network has no line rate to go by.
    static constexpr std::size_t kQueueLimit = 64 * 1024;
    // A peer that takes none of the waiting bytes for this long has lost
    // the connection.
    static constexpr std::chrono::milliseconds kDefaultStallLimit{5000};

    using CNetworkSerialPort::CNetworkSerialPort;
    ~CTCPSerialPort() override;

    // "TCP:host[:port]", port 4044 when absent. Fails when already open or
    // when the first connect fails (FailureReason says why); later losses
    // are bridged by reconnecting.
    bool Open(const char* portName) override;
    // True from a successful Open until Close, also while reconnecting.
    bool IsOpen() override;
    bool Close() override;
    // Queued for the reader thread when connected, dropped otherwise; the
    // bytes queued for a connection that is lost are dropped with it.
    void QueueWrite(OwnedPortBuffer buffer) override;
    // The milliseconds are not used: the converter is asked for a break with a
    // "TCPBREAK" packet 300 ms after the call.
    void SendBreak(unsigned milliseconds) override;
    // Each loss of the connection and each return is logged there once.
    void SetLogPipe(CLogPipe* pipe) override;

    bool IsConnected();
    // Connection attempts of the reader thread since Open.
    unsigned ReconnectAttempts() const { return reconnectAttempts.load(); }
    void SetStallLimit(std::chrono::milliseconds limit) { stallLimitMs.store(limit.count()); }
    std::size_t QueuedBytes();
    // Writes refused by a full queue since construction.
    std::uint64_t DroppedWrites();

private:
    enum class State { Closed, Reconnecting, Connected, Closing };
    using Clock = std::chrono::steady_clock;

    void ThreadMain() override;
    // With the port lock held: fd failed; the reader thread takes it from here.
    // False when the connection was lost already or the port is closing.
    bool MarkLost(int fd);
    // On the reader thread: sends what fd takes now. False when the
    // connection failed or the peer has taken nothing for the stall limit.
    bool PumpWrites(int fd);
    // When the queued bytes stall the connection, or a time point far ahead.
    Clock::time_point StallDeadline();
    void DropQueue();

    std::mutex queueLock;
    CPortWriteQueue writeQueue{kQueueLimit};  // under the queue lock
    std::size_t headSent = 0;                 // of the head buffer, under the queue lock
    Clock::time_point lastProgress;           // under the queue lock
    CEventFd writeQueued;
    std::atomic<std::int64_t> stallLimitMs{kDefaultStallLimit.count()};

    std::mutex portLock;
    int sock = -1;
    // Written under the port lock; read without it by IsOpen and IsConnected,
    // which must not wait for a send in progress.
    std::atomic<State> state{State::Closed};
    sNetAddress address;  // written by Open only, before the thread starts
    std::atomic<unsigned> reconnectAttempts{0};
    CLogNode log;
};

}  // namespace TolvarRT
