#include "ports/port_factory.h"

#include "ports/ntrip_serial_port.h"
#include "ports/socket.h"
#include "ports/tcp_serial_port.h"
#include "ports/threaded_commport.h"
#include "ports/udp_serial_port.h"

namespace TolvarRT {

std::unique_ptr<CSerialPortInterface> CreatePortForName(const std::string& portName, void* owner,
                                                        CSerialPortInterface::Callback callback)
{
    if (HasNetPrefix(portName, "TCP:"))
        return std::make_unique<CTCPSerialPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "NTRIP:"))
        return std::make_unique<CNtripSerialPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "UDP:"))
        return std::make_unique<CUDPSerialPort>(owner, callback, 0, 0);
    return std::make_unique<tThreadedCommport>(owner, callback, 0, 0);
}

}  // namespace TolvarRT
