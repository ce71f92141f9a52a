// RTCM 3 frames made without the decoder's own code, for its tests and its fuzz
// harness: a bit-serial CRC-24Q and a frame builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TolvarRT::testing::rtcm3_reference {

// Polynomial division one message bit at a time: slow, but shares nothing
// with the table the decoder uses.
inline std::uint32_t Crc24q(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t remainder = 0;
    for (std::size_t i = 0; i < length; ++i) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = (((remainder >> 23) ^ (data[i] >> bit)) & 1u) != 0;
            remainder = (remainder << 1) & 0xFFFFFF;
            if (feedback)
                remainder ^= 0x864CFB;
        }
    }
    return remainder;
}

// A whole frame: header with the reserved bits given, a payload of
// payloadLength bytes that starts with the 12-bit message number (as far as
// it fits) and continues with bytes from seed, and a good CRC.
inline std::vector<std::uint8_t> Frame(unsigned messageNumber, std::size_t payloadLength, std::uint8_t reservedBits = 0,
                                       std::uint32_t seed = 1)
{
    std::vector<std::uint8_t> frame{0xD3, std::uint8_t((reservedBits << 2) | ((payloadLength >> 8) & 0x03)),
                                    std::uint8_t(payloadLength)};
    for (std::size_t i = 0; i < payloadLength; ++i) {
        seed = seed * 1664525u + 1013904223u;
        frame.push_back(std::uint8_t(seed >> 24));
    }
    if (payloadLength >= 1)
        frame[3] = std::uint8_t(messageNumber >> 4);
    if (payloadLength >= 2)
        frame[4] = std::uint8_t(((messageNumber & 0x0F) << 4) | (frame[4] & 0x0F));
    const std::uint32_t crc = Crc24q(frame.data(), frame.size());
    frame.push_back(std::uint8_t(crc >> 16));
    frame.push_back(std::uint8_t(crc >> 8));
    frame.push_back(std::uint8_t(crc));
    return frame;
}

}  // namespace TolvarRT::testing::rtcm3_reference
