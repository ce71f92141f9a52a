// The 16-bit sum of a frame's bytes, which with its length tells one frame's
// content from another's when received frames are matched to sent ones.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace TolvarRT {

// Every frame of a test is summed once on each side, so the sum is taken
// eight bytes at a time: four 16-bit lanes, each gaining at most 510 a word,
// are folded before 128 words could overflow one.
inline std::uint16_t ByteSum(const std::uint8_t* data, std::size_t length)
{
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
    constexpr std::size_t kWordsPerFold = 128;
    std::uint64_t sum = 0;
    std::size_t at = 0;
    while (length - at >= 8) {
        const std::size_t stop = at + std::min((length - at) / 8, kWordsPerFold) * 8;
        std::uint64_t lanes = 0;
        for (; at < stop; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + at, 8);
            lanes += (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
        }
        sum += (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
    }
    for (; at < length; ++at)
        sum += data[at];
    return std::uint16_t(sum);
}

}  // namespace TolvarRT
