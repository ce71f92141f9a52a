// Chooses the transport for a port name.
#pragma once

#include <memory>
#include <string>

#include "ports/serial_port_interface.h"

namespace TolvarRT {

// "TCP:", "UDP:" and "NTRIP:" prefixes (in any case) select the network ports; any
// other name is a serial device. The port is created closed.
std::unique_ptr<CSerialPortInterface> CreatePortForName(const std::string& portName, void* owner,
                                                        CSerialPortInterface::Callback callback);

}  // namespace TolvarRT
