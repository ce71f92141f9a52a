// The frame sum taken a word at a time equals the plain byte sum modulo 2^16
// at every length and alignment, including where the lanes are folded.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "stats/byte_sum.h"

namespace TolvarRT {
namespace {

std::uint16_t PlainSum(const std::uint8_t* data, std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return std::uint16_t(sum);
}

TEST(ByteSumTest, EqualsThePlainSumAtEveryLengthAndAlignment)
{
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes(4200);
    for (auto& byte : bytes)
        byte = std::uint8_t(random());
    for (std::size_t offset = 0; offset < 8; ++offset)
        for (std::size_t length = 0; length + offset <= 2100; ++length)
            ASSERT_EQ(ByteSum(bytes.data() + offset, length), PlainSum(bytes.data() + offset, length))
                << "length " << length << " offset " << offset;
}

// All 0xFF fills every lane to its most at each fold (128 words), and the
// longest frames (an RTCM v2 frame's 3 bytes per word, an RTCM v3 frame's
// 1029) run past several folds.
TEST(ByteSumTest, FullLanesFoldWithoutCarryingIntoTheirNeighbours)
{
    const std::vector<std::uint8_t> ones(4096, 0xFF);
    for (const std::size_t length : {1023u, 1024u, 1025u, 1029u, 2048u, 4096u})
        EXPECT_EQ(ByteSum(ones.data(), length), PlainSum(ones.data(), length)) << length;
}

}  // namespace
}  // namespace TolvarRT
