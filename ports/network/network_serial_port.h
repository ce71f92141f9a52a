// What the TCP and UDP ports share: no line settings, no write queue, and a
// reader thread of their own.
#pragma once

#include "ports/network/socket.h"
#include "ports/port_thread.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

// Thread rules: as for every port. The derived port's ThreadMain runs on the
// reader thread and returns once thread.StopRequested() is true; the derived
// destructor closes the port, which stops the thread.
class CNetworkSerialPort : public CSerialPortInterface {
public:
    using CSerialPortInterface::CSerialPortInterface;

    // Nothing to set up on a socket; the settings are kept for the owner.
    bool Configure(const PortSettings& newSettings) override;
    // Starts the reader thread of an open port unless it runs already.
    void StartThread() override;
    // Nothing is ever queued: writes are sent at once.
    void Purge(unsigned flags) override;
    void QueueWriteFirst(OwnedPortBuffer buffer) override;

protected:
    // Open begins here: a closed port and a well-formed name of the port's
    // prefix, or false with the reason recorded.
    bool ReadyToOpen(const char* portName, std::string_view prefix, sNetAddress& parsed);
    // ConnectSocket for Open: -1 with the reason recorded.
    int ConnectForOpen(const sNetAddress& address, SocketKind kind, int timeoutMs);
    virtual void ThreadMain() = 0;

    CPortThread thread;
};

}  // namespace TolvarRT
