// A port on a TCP client connection, for devices behind a serial-to-network
// converter. It keeps reconnecting: a lost connection never closes the port.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "core/log_pipe.h"
#include "ports/network/reconnecting_port.h"
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
class CTCPSerialPort : public CReconnectingPort {
public:
    // What may wait to be sent: the network has no line rate to go by.
    static constexpr std::size_t kQueueLimit = 64 * 1024;
    // A peer that takes none of the waiting bytes for this long has lost
    // the connection.
    static constexpr std::chrono::milliseconds kDefaultStallLimit{5000};

    using CReconnectingPort::CReconnectingPort;
    ~CTCPSerialPort() override;

    // "TCP:host[:port]", port 4044 when absent. Fails when already open or
    // when the first connect fails (FailureReason says why); later losses
    // are bridged by reconnecting.
    bool Open(const char* portName) override;
    // Queued for the reader thread when connected, dropped otherwise; the
    // bytes queued for a connection that is lost are dropped with it.
    void QueueWrite(OwnedPortBuffer buffer) override;
    // The milliseconds are not used: the converter is asked for a break with a
    // "TCPBREAK" packet 300 ms after the call.
    void SendBreak(unsigned milliseconds) override;
    // The write queue's refusals are logged there too.
    void SetLogPipe(CLogPipe* pipe) override;

    void SetStallLimit(std::chrono::milliseconds limit) { stallLimitMs.store(limit.count()); }
    std::size_t QueuedBytes();
    // Writes refused by a full queue since construction.
    std::uint64_t DroppedWrites();

private:
    // After a steady connection (5 s) is lost, the first attempt goes at once;
    // then pauses of 1, 2, 4 and 5 s.
    sReconnectRule ReconnectRule() const override { return {5, 5, true}; }
    // Nothing to say: the bytes flow at once. Nothing queued for an earlier
    // connection goes to this one.
    bool Handshake(int fd, int stopFd, std::string& failure) override;
    bool Serve(int fd) override;
    void Connected(bool again) override;
    void Lost(std::chrono::milliseconds lasted, bool steady, std::chrono::milliseconds nextPause) override;
    void Stopped() override { DropQueue(); }
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
};

}  // namespace TolvarRT
