// The operations that the TCP and UDP ports answer alike.
#include "ports/network_serial_port.h"

#include <utility>

namespace TolvarRT {

bool CNetworkSerialPort::Configure(const PortSettings& newSettings)
{
    if (!IsOpen())
        return false;
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
    return portName != nullptr && !IsOpen() && ParseNetPortName(portName, prefix, parsed);
}

void CNetworkSerialPort::Purge(unsigned /*flags*/) {}

void CNetworkSerialPort::QueueWriteFirst(OwnedPortBuffer buffer)
{
    QueueWrite(std::move(buffer));
}

}  // namespace TolvarRT
