// What a device says about itself in its identity reply, and how the reply
// text is read.
#pragma once

#include <cstdint>
#include <string>

namespace TolvarRT {

struct sDeviceIdentity {
    std::string text;         // the whole identity text
    std::string productName;  // empty until a device has answered
    std::string productField;
    bool hasBT = false;
    bool hasSW = false;
    std::uint32_t portIndex = 0;
    std::string secondNumber;  // the second and third port numbers, as decimal texts
    std::string thirdNumber;
    int dataStopCode = 6;     // 0..7; 6 is 8 data bits with 1 stop bit
    std::uint8_t parity = 0;  // 0 none, 1 odd, 2 even
    std::string version;
    std::string versionField2;
    std::string versionField3;
    std::string versionTail;
    bool flowFlag = false;
};

// Replaces every field of the record with what the text says; keys that are
// missing leave their fields empty, zero, or 6 for the data/stop code.
sDeviceIdentity ParseIdentityText(const char* data, std::size_t length);

}  // namespace TolvarRT
