// Port name resolution and the listing of serial devices for the settings
// dialog.
#include "ports/serial/serial_device_name.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/ascii_case.h"

namespace TolvarRT {

namespace {

constexpr std::string_view kWindowsDevicePrefix = "\\\\.\\";
constexpr std::array<std::string_view, 5> kSerialPrefixes = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};

bool IsDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True for "COMn" in any case; number receives n.
bool ParseComName(std::string_view name, unsigned long& number)
{
    if (name.size() < 4 || name.size() > 12 || !StartsWithIgnoringCase(name, "COM"))
        return false;
    const std::string_view digits = name.substr(3);
    if (!IsDigits(digits))
        return false;
    number = std::stoul(std::string(digits));
    return true;
}

// Splits "ttyUSB12" into "ttyUSB" and 12 so that names sort as people count.
bool NaturalLess(const std::string& left, const std::string& right)
{
    auto split = [](const std::string& text) {
        std::size_t cut = text.size();
        while (cut > 0 && std::isdigit(static_cast<unsigned char>(text[cut - 1])) && text.size() - cut < 9)
            --cut;
        const unsigned long number = cut < text.size() ? std::stoul(text.substr(cut)) : 0;
        return std::make_pair(text.substr(0, cut), number);
    };
    return split(left) < split(right);
}

// The serial core reports UART type 0 for a ttyS slot with no hardware; a
// slot whose type cannot be read is kept.
bool HasUart(const std::filesystem::path& ttyClassFolder, const std::string& name)
{
    std::ifstream typeFile(ttyClassFolder / name / "type");
    int type = -1;
    return !(typeFile >> type) || type != 0;
}

std::vector<std::string> ListFolder(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        names.push_back(entry->path().filename().string());
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

}  // namespace

std::string ResolveSerialDeviceName(std::string_view name)
{
    if (name.substr(0, kWindowsDevicePrefix.size()) == kWindowsDevicePrefix)
        name.remove_prefix(kWindowsDevicePrefix.size());
    if (name.empty())
        return {};
    if (name.front() == '/')
        return std::string(name);
    unsigned long number = 0;
    if (ParseComName(name, number))
        return number == 0 ? std::string() : "/dev/ttyS" + std::to_string(number - 1);
    return "/dev/" + std::string(name);
}

std::vector<std::string> ListSerialDevices(const std::string& deviceFolder, const std::string& ttyClassFolder)
{
    const std::filesystem::path devices(deviceFolder);
    const std::vector<std::string> names = ListFolder(devices);
    std::vector<std::string> found;
    for (const std::string_view prefix : kSerialPrefixes) {
        for (const std::string& name : names) {
            if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
                !IsDigits(std::string_view(name).substr(prefix.size())))
                continue;
            if (prefix == "ttyS" && !HasUart(ttyClassFolder, name))
                continue;
            found.push_back((devices / name).string());
        }
    }
    const std::filesystem::path byId = devices / "serial" / "by-id";
    for (const std::string& name : ListFolder(byId))
        found.push_back((byId / name).string());
    return found;
}

}  // namespace TolvarRT
