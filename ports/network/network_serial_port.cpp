// The operations that the TCP and UDP ports answer alike.
#include "ports/network/network_serial_port.h"

#include <string>
#include <utility>

namespace TolvarRT {

bool CNetworkSerialPort::Configure(const PortSettings& newSettings)
{
    ClearFailure();
    if (!IsOpen())
        return Fail("not open");
    settings = newSettings;
    return true;
}

void CNetworkSerialPort::StartThread()
{
    if (IsOpen())
        thread.Start([this] { ThreadMain(); });
}

bool CNetworkSerialPort::ReadyToOpen(const char* portName, std::string_view prefix, sNetAddress& parsed)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    std::string failure = "not a host:port address";
    return (portName != nullptr && ParseNetPortName(portName, prefix, parsed, &failure)) || Fail(std::move(failure));
}

int CNetworkSerialPort::ConnectForOpen(const sNetAddress& address, SocketKind kind, int timeoutMs)
{
    std::string failure;
    const int fd = ConnectSocket(address, kind, -1, timeoutMs, &failure);
    if (fd < 0)
        Fail(std::move(failure));
    return fd;
}

void CNetworkSerialPort::Purge(unsigned /*flags*/) {}

void CNetworkSerialPort::QueueWriteFirst(OwnedPortBuffer buffer)
{
    QueueWrite(std::move(buffer));
}

}  // namespace TolvarRT
