// Serial device names: what a user or a stored setting calls a port ("COM3",
// "ttyUSB0", "/dev/serial/by-id/...") and which device file that is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace TolvarRT {

// The device file for a port name. An absolute path is used as is; "COMn"
// (any case, n >= 1) is /dev/ttyS(n-1), so settings stored on Windows still
// open the first serial ports; any other name is looked up under /dev with
// its case kept. Empty when the name cannot be a device ("", "COM0").
std::string ResolveSerialDeviceName(std::string_view name);

// The serial devices present, as full paths in natural order (ttyS2 before
// ttyS10): ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*, then the links in
// serial/by-id. A ttyS port that the kernel knows has no UART behind it is
// left out. The folders can be changed for tests.
std::vector<std::string> ListSerialDevices(const std::string& deviceFolder = "/dev",
                                           const std::string& ttyClassFolder = "/sys/class/tty");

}  // namespace TolvarRT
