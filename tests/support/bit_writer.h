// Hand-built frames, bit by bit, most significant first: for tests that need
// a frame's fields set one by one, written apart from the decoders' readers.
// Also the payload of an RTCM 3 MSM4 frame made so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TolvarRT::testing {

class BitWriter {
public:
    BitWriter& Put(std::uint64_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;) {
            if (bits % 8 == 0)
                bytes.push_back(0);
            // Fields wider than 64 bits are zeros ahead of the value.
            if (i < 64 && ((value >> i) & 1u))
                bytes.back() |= std::uint8_t(0x80u >> (bits % 8));
            ++bits;
        }
        return *this;
    }
    BitWriter& Text(const std::string& text)
    {
        Put(text.size(), 8);
        for (const char c : text)
            Put(std::uint8_t(c), 8);
        return *this;
    }
    std::vector<std::uint8_t> bytes;
    unsigned bits = 0;
};

// An MSM4 payload of two satellites and two signals, three cells set.
inline std::vector<std::uint8_t> Msm4(unsigned type, std::uint32_t epochField, bool multiple)
{
    BitWriter w;
    w.Put(type, 12).Put(1234, 12).Put(epochField, 30).Put(multiple, 1).Put(0, 3 + 7 + 2 + 2 + 1 + 3);
    w.Put((1ull << 63) | (1ull << 40), 64).Put((1u << 31) | (1u << 2), 32).Put(0b1101, 4);
    w.Put(0, 2 * 18 + 3 * 48);
    return w.bytes;
}

}  // namespace TolvarRT::testing
