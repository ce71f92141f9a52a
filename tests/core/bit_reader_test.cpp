// The bit reader: fields across byte boundaries, the widest fields, signs,
// and reads that would run past the end.
#include "core/bit_reader.h"

#include <gtest/gtest.h>

namespace TolvarRT {
namespace {

const std::uint8_t kBytes[] = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xFF, 0x80, 0x01, 0x23, 0x45};

TEST(BitReaderTest, ReadsFieldsMostSignificantBitFirst)
{
    struct Row {
        unsigned skip, count;
        std::uint64_t value;
    };
    const Row rows[] = {
        {0, 8, 0xD3},
        {0, 12, 0xD30},
        {4, 12, 0x300},
        {24, 12, 0x3ED},
        {5, 3, 0x3},
        {0, 0, 0},
        {0, 64, 0xD300133ED7FF8001},
        {16, 64, 0x133ED7FF80012345},
        {79, 1, 1},
        {48, 1, 1},
        {49, 15, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.skip) + "+" + std::to_string(row.count));
        CBitReader bits(kBytes, sizeof kBytes);
        EXPECT_TRUE(bits.Skip(row.skip));
        EXPECT_EQ(bits.Read(row.count), row.value);
        EXPECT_TRUE(bits.Ok());
        EXPECT_EQ(bits.Position(), row.skip + row.count);
    }
}

TEST(BitReaderTest, SignedFieldsAreTwosComplement)
{
    struct Row {
        unsigned skip, count;
        std::int64_t value;
    };
    const Row rows[] = {{0, 8, -45}, {8, 8, 0},  {40, 9, -1},
                        {48, 2, -2}, {56, 8, 1}, {0, 64, std::int64_t(0xD300133ED7FF8001)}};
    for (const Row& row : rows) {
        CBitReader bits(kBytes, sizeof kBytes);
        bits.Skip(row.skip);
        EXPECT_EQ(bits.ReadSigned(row.count), row.value) << row.skip << "+" << row.count;
    }
}

TEST(BitReaderTest, AReadPastTheEndReadsNothingAndFailsTheReader)
{
    CBitReader bits(kBytes, 2);
    EXPECT_EQ(bits.Read(12), 0xD30u);
    EXPECT_EQ(bits.Read(5), 0u);
    EXPECT_FALSE(bits.Ok());
    // A failed reader stays failed, even for bits that are there.
    EXPECT_EQ(bits.Read(4), 0u);
    EXPECT_FALSE(bits.Ok());

    CBitReader wide(kBytes, sizeof kBytes);
    EXPECT_EQ(wide.Read(65), 0u);
    EXPECT_FALSE(wide.Ok());
    CBitReader empty(nullptr, 0);
    EXPECT_EQ(empty.Read(0), 0u);
    EXPECT_TRUE(empty.Ok());
    EXPECT_FALSE(empty.Skip(1));
    EXPECT_EQ(empty.Remaining(), 0u);
}

}  // namespace
}  // namespace TolvarRT
