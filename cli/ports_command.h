// The serial devices present, with what the system knows about each.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct sSerialDevice {
    std::string path;
    std::string driver;       // the kernel driver, when known
    std::string description;  // the USB manufacturer and product, when known
};

std::vector<sSerialDevice> DescribeSerialDevices(const std::string& deviceFolder = "/dev",
                                                 const std::string& ttyClassFolder = "/sys/class/tty");

}  // namespace cli
