// Port names from users and from settings stored on Windows, and the list of
// devices the settings dialog offers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ports/serial/serial_device_name.h"

namespace TolvarRT {
namespace {

TEST(SerialDeviceNameTest, Resolves)
{
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-Radio_Modem-if00", "/dev/serial/by-id/usb-Radio_Modem-if00"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"ttyACM3", "/dev/ttyACM3"},
        {"pts/7", "/dev/pts/7"},
        {"COM1", "/dev/ttyS0"},
        {"com12", "/dev/ttyS11"},
        {"Com3", "/dev/ttyS2"},
        {"\\\\.\\COM10", "/dev/ttyS9"},
        {"COM", "/dev/COM"},      // not COMn: a device of that name
        {"COM1a", "/dev/COM1a"},  //
        {"COM0", ""},
        {"", ""},
    };
    for (const auto& row : cases)
        EXPECT_EQ(ResolveSerialDeviceName(row.name), row.path) << row.name;
}

TEST(SerialDeviceNameTest, ListsSerialDevicesInNaturalOrder)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("serial_list_" + std::to_string(getpid()));
    const fs::path dev = root / "dev", sys = root / "sys";
    fs::create_directories(dev / "serial" / "by-id");
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyS0", "ttyS1", "ttyS4", "ttyACM0", "rfcomm1", "ttyAMA0", "tty0",
                             "ttyprintk", "sda", "ttyUSB", "serial/by-id/usb-Radio-if00"})
        std::ofstream(dev / name).put('\n');
    // ttyS1 has no UART behind it; ttyS4 says nothing and is kept.
    for (const auto& [name, type] : {std::pair{"ttyS0", "4"}, std::pair{"ttyS1", "0"}}) {
        fs::create_directories(sys / name);
        std::ofstream(sys / name / "type") << type << '\n';
    }

    const std::string d = dev.string() + "/";
    const std::vector<std::string> expected = {
        d + "ttyS0",   d + "ttyS4",   d + "ttyUSB2", d + "ttyUSB10",
        d + "ttyACM0", d + "ttyAMA0", d + "rfcomm1", d + "serial/by-id/usb-Radio-if00"};
    EXPECT_EQ(ListSerialDevices(dev.string(), sys.string()), expected);
    EXPECT_TRUE(ListSerialDevices((root / "none").string(), sys.string()).empty());
    fs::remove_all(root);
}

}  // namespace
}  // namespace TolvarRT
