// A port that waits for its peer instead of calling it: "TCPSVR:[addr:]port"
// listens (on 127.0.0.1 unless an address is given) and takes the bytes of
// whichever client connects, for a converter or a relay that dials out.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/log_pipe.h"
#include "ports/network/network_serial_port.h"
#include "ports/network/socket.h"
#include "ports/platform/event_fd.h"
#include "ports/port_write_queue.h"

namespace TolvarRT {

// "TCPSVR:port" on the loopback address, or "TCPSVR:addr:port" ([addr] for
// IPv6); port 0 asks for any free one. An empty address ("TCPSVR::port", as
// tcpsvr://:port and the connection dialog write it) is the loopback address
// too, and the dialog's "TCPSVR::addr:port" is "TCPSVR:addr:port". False
// with a reason for anything else.
bool ParseServerPortName(std::string_view name, sNetAddress& address, std::string& failure);

// Thread rules: as for every port. The reader thread alone accepts, reads,
// sends and closes clients; it waits in one poll() on the listening socket,
// the client, the stop eventfd and the write-queued eventfd. Callers queue
// writes under the queue lock. A new client replaces the current one, which
// is closed (one log line each time); what was queued for it goes with it.
class CTCPServerPort : public CNetworkSerialPort {
public:
    static constexpr std::size_t kQueueLimit = 64 * 1024;

    using CNetworkSerialPort::CNetworkSerialPort;
    ~CTCPServerPort() override;

    // Fails when the name is not "TCPSVR:[addr:]port" or the address cannot
    // be listened on. Port 0 listens on any free port: see ListeningPort.
    bool Open(const char* portName) override;
    bool IsOpen() override { return listening.load(); }
    bool Close() override;
    // Queued for the current client; dropped and counted while there is none.
    void QueueWrite(OwnedPortBuffer buffer) override;
    void SendBreak(unsigned /*milliseconds*/) override {}
    void SetLogPipe(CLogPipe* pipe) override;

    std::uint16_t ListeningPort() const { return boundPort.load(); }
    bool HasClient() const { return clientConnected.load(); }
    // Clients accepted since Open.
    unsigned ClientsAccepted() const { return accepted.load(); }
    // Writes dropped because no client was connected, since Open.
    std::uint64_t WritesWithoutClient() const { return droppedWithoutClient.load(); }

private:
    void ThreadMain() override;
    // On the reader thread: takes a waiting client, closing the current one.
    void AcceptClient();
    void DropClient();
    // Sends what the client takes now; false when the client failed.
    bool PumpWrites();
    bool HasQueued();

    int listenFd = -1;  // set by Open before the thread starts, closed by Close after it stops
    int client = -1;    // the reader thread's alone while it runs
    std::atomic<bool> listening{false};
    std::atomic<bool> clientConnected{false};
    std::atomic<std::uint16_t> boundPort{0};
    std::atomic<unsigned> accepted{0};
    std::atomic<std::uint64_t> droppedWithoutClient{0};

    std::mutex queueLock;
    CPortWriteQueue writeQueue{kQueueLimit};  // under the queue lock
    std::size_t headSent = 0;                 // under the queue lock
    CEventFd writeQueued;
    CLogNode log;
};

}  // namespace TolvarRT
