// Data-collector packets put together byte by byte (STX, status, type, length,
// data, checksum, ETX), for the tests and the benchmarks that feed a parser
// what a device would send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoders/dc_packet.h"

namespace TolvarRT::testing {

// The checksum as a device computes it, kept apart from the product's own
// function: a fault shared by sender and parser would otherwise pass every
// packet test. Every byte after STX up to the checksum counts, the status
// byte included, modulo 256.
inline std::uint8_t PacketSum(std::uint8_t status, std::uint8_t type, const std::vector<std::uint8_t>& data)
{
    std::uint8_t sum = 0;
    for (std::uint8_t byte : {status, type, std::uint8_t(data.size())})
        sum = std::uint8_t(sum + byte);
    for (std::uint8_t byte : data)
        sum = std::uint8_t(sum + byte);
    return sum;
}

inline std::vector<std::uint8_t> Packet(std::uint8_t type, const std::vector<std::uint8_t>& data,
                                        std::uint8_t status = 0)
{
    // Byte by byte: inserting a range after the header trips a false
    // out-of-bounds warning in GCC 12 when the data is empty.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(data.size() + 6);
    for (std::uint8_t byte : {std::uint8_t(kPacketStx), status, type, std::uint8_t(data.size())})
        bytes.push_back(byte);
    for (std::uint8_t byte : data)
        bytes.push_back(byte);
    bytes.push_back(PacketSum(status, type, data));
    bytes.push_back(kPacketEtx);
    return bytes;
}

// A packet whose data is text: identities and radio replies.
inline std::vector<std::uint8_t> TextPacket(std::uint8_t type, const std::string& text)
{
    return Packet(type, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace TolvarRT::testing
