// Writes RTCM version 2 streams as a reference station sends them, for tests,
// fuzzing and benchmarks: 30-bit words with the GPS parity, the data bits
// complemented after a word ending in D30 = 1, six bits a byte, rolled, words
// at any bit offset of the bytes.
// Header-only, so that programs built without the test library can use it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace TolvarRT::testing {

struct Rtcm2Fields {
    unsigned type = 1;  // 0..63 as sent (0 is read as 64)
    unsigned station = 0;
    unsigned zCount = 0;  // units of 0.6 s, 13 bits
    unsigned sequence = 0;
    unsigned health = 0;
};

class Rtcm2Writer {
public:
    // D29* (bit 1) and D30* (bit 0) of the last word written.
    unsigned prev = 0;
    std::vector<std::uint8_t> bytes;
    // The index in bytes of every payload byte written, in order.
    std::vector<std::size_t> entryBytes;

    // The two header words of a frame with dataWords data words.
    static std::vector<std::uint32_t> HeaderWords(const Rtcm2Fields& fields, unsigned dataWords)
    {
        const std::uint32_t first = (0x66u << 16) | ((fields.type & 0x3Fu) << 10) | (fields.station & 0x3FFu);
        const std::uint32_t second = ((fields.zCount & 0x1FFFu) << 11) | ((fields.sequence & 7u) << 8) |
                                     ((dataWords & 0x1Fu) << 3) | (fields.health & 7u);
        return {first, second};
    }

    // Parity written out from the bit lists of the navigation message
    // (d1 is bit 23 of data), not from masks, to check the decoder's own.
    static unsigned Parity(std::uint32_t data, unsigned previous)
    {
        const auto sum = [data](std::initializer_list<int> dataBits) {
            unsigned bit = 0;
            for (const int d : dataBits)
                bit ^= (data >> (24 - d)) & 1u;
            return bit;
        };
        const unsigned d29 = (previous >> 1) & 1u, d30 = previous & 1u;
        const unsigned p25 = d29 ^ sum({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
        const unsigned p26 = d30 ^ sum({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
        const unsigned p27 = d29 ^ sum({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
        const unsigned p28 = d30 ^ sum({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
        const unsigned p29 = d30 ^ sum({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
        const unsigned p30 = d29 ^ sum({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
        return (p25 << 5) | (p26 << 4) | (p27 << 3) | (p28 << 2) | (p29 << 1) | p30;
    }

    // Appends count bits of value, most significant first; every six make a
    // byte marked 01 with its bits rolled (the first bit in bit 0).
    void Bits(std::uint32_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;) {
            pending = (pending << 1) | ((value >> i) & 1u);
            ++bitCount;
            if (bitCount % 6 == 0) {
                unsigned byte = 0x40;
                for (unsigned bit = 0; bit < 6; ++bit)
                    if (pending & (0x20u >> bit))
                        byte |= 1u << bit;
                entryBytes.push_back(bytes.size());
                bytes.push_back(std::uint8_t(byte));
                pending = 0;
            }
        }
    }

    // The 30 bits sent for 24 data bits after the word of prev; the next
    // word's prev becomes this one's D29 and D30.
    std::uint32_t Encode(std::uint32_t data)
    {
        const unsigned parity = Parity(data & 0xFFFFFFu, prev);
        const std::uint32_t sent = (prev & 1u) ? (~data & 0xFFFFFFu) : (data & 0xFFFFFFu);
        prev = parity & 3u;
        return (sent << 6) | parity;
    }

    // Appends words of 24 data bits, each with its parity, chained on prev.
    void Words(const std::vector<std::uint32_t>& dataWords)
    {
        for (const std::uint32_t data : dataWords)
            Bits(Encode(data), 30);
    }

    // Fills the payload byte in progress with zero bits.
    void Pad() { Bits(0, (6 - bitCount % 6) % 6); }

    // Appends one frame: header with N = data.size(), then the data words.
    // Returns the bits it took: [first, end).
    std::pair<std::size_t, std::size_t> Frame(const Rtcm2Fields& fields, const std::vector<std::uint32_t>& data)
    {
        const std::size_t first = bitCount;
        Words(HeaderWords(fields, unsigned(data.size())));
        Words(data);
        return {first, bitCount};
    }

    // Appends bytes as they are (noise, line ends) before the payload byte
    // being filled, if any.
    void Raw(std::initializer_list<std::uint8_t> noise) { bytes.insert(bytes.end(), noise); }

    // The bytes [first, end) that hold the bits [firstBit, endBit), once the
    // last of them has been written out.
    std::pair<std::size_t, std::size_t> ByteSpan(std::pair<std::size_t, std::size_t> bitSpan) const
    {
        return {entryBytes.at(bitSpan.first / 6), entryBytes.at((bitSpan.second - 1) / 6) + 1};
    }

    std::size_t bitCount = 0;

private:
    unsigned pending = 0;
};

// The same stream with every word's bits complemented: the six payload bits of
// each byte marked 01 inverted, the other bytes untouched.
inline std::vector<std::uint8_t> InvertRtcm2Polarity(std::vector<std::uint8_t> bytes)
{
    for (auto& byte : bytes)
        if ((byte & 0xC0u) == 0x40u)
            byte ^= 0x3Fu;
    return bytes;
}

}  // namespace TolvarRT::testing
