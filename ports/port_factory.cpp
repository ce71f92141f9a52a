#include "ports/port_factory.h"

#include "ports/inprocess/in_process_port.h"
#include "ports/network/ntrip_request.h"
#include "ports/network/ntrip_serial_port.h"
#include "ports/network/plain_udp_port.h"
#include "ports/network/socket.h"
#include "ports/network/tcp_serial_port.h"
#include "ports/network/tcp_server_port.h"
#include "ports/network/udp_serial_port.h"
#include "ports/recording/file_replay_port.h"
#include "ports/serial/threaded_commport.h"
#include "ports/stream_path.h"

namespace TolvarRT {

std::unique_ptr<CSerialPortInterface> CreatePortForName(const std::string& portName, void* owner,
                                                        CSerialPortInterface::Callback callback)
{
    if (HasNetPrefix(portName, "TCPSVR:"))
        return std::make_unique<CTCPServerPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "FILE:"))
        return std::make_unique<CFileReplayPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "TCP:"))
        return std::make_unique<CTCPSerialPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "NTRIP:"))
        return std::make_unique<CNtripSerialPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "UDP:"))
        return std::make_unique<CUDPSerialPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, "UDPSVR:") || HasNetPrefix(portName, "UDPCLI:"))
        return std::make_unique<CPlainUDPPort>(owner, callback, 0, 0);
    if (HasNetPrefix(portName, CInProcessPort::kPrefix))
        return std::make_unique<CInProcessPort>(owner, callback, 0, 0);
    return std::make_unique<tThreadedCommport>(owner, callback, 0, 0);
}

bool IsProbeablePort(std::string_view portName)
{
    sStreamPath path;
    std::string failure;
    const std::string name =
        IsStreamPath(portName) && ParseStreamPath(portName, path, failure) ? path.portName : std::string(portName);
    return !HasNetPrefix(name, "NTRIP:") && !HasNetPrefix(name, "FILE:") && !HasNetPrefix(name, "UDPSVR:") &&
           !HasNetPrefix(name, "UDPCLI:");
}

bool CheckPortName(std::string_view portName, std::string& failure)
{
    if (IsStreamPath(portName)) {
        sStreamPath path;
        return ParseStreamPath(portName, path, failure);
    }
    sNetAddress address;
    sNtripAddress ntrip;
    std::string why;
    bool ok = true;
    if (HasNetPrefix(portName, "TCPSVR:"))
        ok = ParseServerPortName(portName, address, why);
    else if (HasNetPrefix(portName, "TCP:") || HasNetPrefix(portName, "UDP:"))
        ok = ParseNetPortName(portName, portName.substr(0, 4), address, &why);
    else if (HasNetPrefix(portName, "NTRIP:"))
        ok = ParseNtripPortName(portName, ntrip, &why);
    else if (HasNetPrefix(portName, "UDPSVR:") || HasNetPrefix(portName, "UDPCLI:")) {
        PlainUDPRole role;
        ok = ParsePlainUDPPortName(portName, role, address, why);
    }
    if (!ok)
        failure = ShownPortName(portName) + ": " + why;
    return ok;
}

}  // namespace TolvarRT
