#include "cli/ports_command.h"

#include <filesystem>
#include <fstream>

#include "ports/serial/serial_device_name.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::vector<sSerialDevice> DescribeSerialDevices(const std::string& deviceFolder, const std::string& ttyClassFolder)
{
    std::vector<sSerialDevice> devices;
    for (const std::string& path : TolvarRT::ListSerialDevices(deviceFolder, ttyClassFolder)) {
        sSerialDevice device{path, {}, {}};
        std::error_code error;
        const fs::path resolved = fs::canonical(path, error);
        const fs::path sysDevice = fs::path(ttyClassFolder) / (error ? fs::path(path) : resolved).filename() / "device";
        const fs::path driver = fs::read_symlink(sysDevice / "driver", error);
        if (!error)
            device.driver = driver.filename().string();
        // A USB adapter names itself a few folders up.
        fs::path folder = fs::canonical(sysDevice, error);
        for (int up = 0; !error && up < 4 && !folder.empty(); ++up, folder = folder.parent_path()) {
            if (fs::exists(folder / "product", error)) {
                const std::string maker = FirstLine(folder / "manufacturer");
                device.description = (maker.empty() ? "" : maker + " ") + FirstLine(folder / "product");
                break;
            }
        }
        devices.push_back(device);
    }
    return devices;
}

}  // namespace cli
