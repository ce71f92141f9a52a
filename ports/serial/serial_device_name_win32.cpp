// Windows names a serial port "COMn" and opens it as "\\.\COMn" (the only
// form that reaches COM10 and above). The ports present are the values of
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which the serial drivers keep.
#include <windows.h>

#include <algorithm>
#include <string>

#include "core/ascii_case.h"
#include "ports/serial/serial_device_name.h"

namespace TolvarRT {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

// The number of "COMn", or 0 for any other name, so that COM2 sorts before COM10.
unsigned long ComNumber(std::string_view name)
{
    if (name.size() < 4 || name.size() > 12 || !StartsWithIgnoringCase(name, "COM"))
        return 0;
    unsigned long number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + unsigned(c - '0');
    }
    return number;
}

}  // namespace

std::string ResolveSerialDeviceName(std::string_view name)
{
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix)
        name.remove_prefix(kDevicePrefix.size());
    if (name.empty() || (StartsWithIgnoringCase(name, "COM") && ComNumber(name) == 0))
        return {};
    return std::string(kDevicePrefix) + std::string(name);
}

std::vector<std::string> ListSerialDevices(const std::string&, const std::string&)
{
    std::vector<std::string> found;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD nameSize = sizeof valueName;
        char data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG result =
            RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = '\0';
        found.emplace_back(data);
    }
    RegCloseKey(key);
    std::sort(found.begin(), found.end(), [](const std::string& left, const std::string& right) {
        return std::make_pair(ComNumber(left), left) < std::make_pair(ComNumber(right), right);
    });
    return found;
}

}  // namespace TolvarRT
