// Chooses the transport for a port name.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ports/serial_port_interface.h"

namespace TolvarRT {

// "TCP:", "UDP:" (the converter's link protocol), "TCPSVR:", "UDPSVR:" and
// "UDPCLI:" (plain datagrams), "NTRIP:" and "FILE:" prefixes (in any case)
// select their ports; "LOOP:" names an in-process device (the emulated
// link's on Windows); any other name is a serial device. The port is created
// closed.
std::unique_ptr<CSerialPortInterface> CreatePortForName(const std::string& portName, void* owner,
                                                        CSerialPortInterface::Callback callback);

// Whether a device may sit behind the port that answers identity requests and
// radio commands: a serial device, or one behind a TCP, UDP or TCP server
// connection (a serial-to-network bridge). An NTRIP caster's stream, plain
// UDP datagrams from a stream tool and a replayed file have no such device,
// and nothing but what the port itself sends (an NTRIP client's GGA) may go
// up them. Stream paths are read as the
// port they name.
bool IsProbeablePort(std::string_view portName);

// Whether the name can be a port at all, judged without opening anything: a
// stream path must parse, and the address of a TCP, UDP, TCP server, plain
// UDP or NTRIP name must be well formed. Serial device and file names are left to Open.
// False with "NAME: reason" (an NTRIP password hidden).
bool CheckPortName(std::string_view portName, std::string& failure);

}  // namespace TolvarRT
