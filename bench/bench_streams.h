// Byte streams the decoder benchmarks share: the real captures and a dense
// synthetic RTCM 3 stream.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

inline std::vector<std::uint8_t> Capture(const std::string& fileName)
{
    std::ifstream file(std::string(TOLVAR_CAPTURES_DIR) + "/" + fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::uint32_t Crc24q(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= std::uint32_t(data[i]) << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if (crc & 0x1000000)
                crc ^= 0x1864CFB;
        }
    }
    return crc & 0xFFFFFF;
}

// About 1 MB of back-to-back RTCM 3 frames of varied lengths (a few bytes of
// noise between some of them), every CRC good.
inline const std::vector<std::uint8_t>& DenseRtcm3Stream()
{
    static const std::vector<std::uint8_t> stream = [] {
        std::vector<std::uint8_t> bytes;
        std::uint32_t seed = 12345;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        while (bytes.size() < (1u << 20)) {
            const std::size_t length = 20 + next() % 480;
            const std::size_t start = bytes.size();
            bytes.push_back(0xD3);
            bytes.push_back(std::uint8_t(length >> 8));
            bytes.push_back(std::uint8_t(length));
            const unsigned messageNumber = 1001 + next() % 130;
            bytes.push_back(std::uint8_t(messageNumber >> 4));
            bytes.push_back(std::uint8_t(messageNumber << 4));
            for (std::size_t i = 2; i < length; ++i)
                bytes.push_back(std::uint8_t(next() >> 16));
            const std::uint32_t crc = Crc24q(&bytes[start], length + 3);
            bytes.push_back(std::uint8_t(crc >> 16));
            bytes.push_back(std::uint8_t(crc >> 8));
            bytes.push_back(std::uint8_t(crc));
            if ((next() >> 16) % 8 == 0)
                bytes.insert(bytes.end(), {0x0D, 0x0A, 0x55});
        }
        return bytes;
    }();
    return stream;
}

}  // namespace bench
