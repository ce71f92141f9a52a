// NMEA sentences as a receiver writes them, with the checksum their body needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace TolvarRT::testing {

// "$" + body + "*hh" + lineEnd.
inline std::string NmeaSentence(const std::string& body, const char* lineEnd = "\r\n")
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= std::uint8_t(c);
    char checksum[4];
    std::snprintf(checksum, sizeof checksum, "*%02X", sum);
    return "$" + body + checksum + lineEnd;
}

}  // namespace TolvarRT::testing
