// The RTCM 3 scanner on its own: its CRC, the contract of Parse, and what it
// does when handed more than its ring can hold.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "decoders/rtcm3_parser.h"
#include "rtcm3_frame_builder.h"

namespace TolvarRT {
namespace {

TEST(Crc24q, MatchesTheCheckValueAndTheBitSerialReference)
{
    const char* check = "123456789";
    EXPECT_EQ(Crc24q(reinterpret_cast<const std::uint8_t*>(check), 9), 0xCDE703u);

    std::mt19937 random(7);
    // Long pieces take the 16-byte folding where the processor has it, short
    // ones and the tail the tables: both, and every way into the other.
    for (int round = 0; round < 400; ++round) {
        std::vector<std::uint8_t> data(random() % (round % 2 == 0 ? 300 : 1100));
        for (auto& byte : data)
            byte = std::uint8_t(random());
        // Twice, and in two pieces: the table keeps no memory between calls.
        const std::uint32_t expected = TolvarRT::testing::rtcm3_reference::Crc24q(data.data(), data.size());
        ASSERT_EQ(Crc24q(data.data(), data.size()), expected);
        ASSERT_EQ(Crc24q(data.data(), data.size()), expected);
        const std::size_t half = data.size() / 2;
        ASSERT_EQ(Crc24q(data.data() + half, data.size() - half, Crc24q(data.data(), half)), expected);
        const std::size_t cut = data.empty() ? 0 : random() % data.size();
        ASSERT_EQ(Crc24q(data.data() + cut, data.size() - cut, Crc24q(data.data(), cut)), expected);
    }
}

struct Scan {
    bool found = false;
    std::uint32_t consumed = 0;
    const std::uint8_t* payload = nullptr;
    std::uint16_t length = 0;
    unsigned messageNumber = 0;
};

Scan Parse(CRTCM3Parser& parser, const std::uint8_t* input, std::uint32_t length)
{
    Scan scan;
    scan.found = parser.Parse(input, length, scan.consumed, scan.payload, scan.length, scan.messageNumber);
    return scan;
}

TEST(Rtcm3Parser, ReportsOneFrameAndKeepsWhatFollowsForTheNextCall)
{
    CRTCM3Parser parser;
    auto stream = TolvarRT::testing::rtcm3_reference::Frame(1005, 19);
    const auto second = TolvarRT::testing::rtcm3_reference::Frame(1230, 8);
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), {0xD3, 0x00});  // the start of a third

    Scan scan = Parse(parser, stream.data(), std::uint32_t(stream.size()));
    ASSERT_TRUE(scan.found);
    EXPECT_EQ(scan.consumed, stream.size());
    EXPECT_EQ(scan.messageNumber, 1005u);
    ASSERT_EQ(scan.length, 19);
    EXPECT_EQ(std::memcmp(scan.payload, stream.data() + 3, 19), 0);
    EXPECT_EQ(parser.Pending(), second.size() + 2);

    scan = Parse(parser, nullptr, 0);
    ASSERT_TRUE(scan.found);
    EXPECT_EQ(scan.messageNumber, 1230u);
    EXPECT_EQ(parser.Pending(), 2u);

    scan = Parse(parser, nullptr, 0);
    EXPECT_FALSE(scan.found);
    EXPECT_EQ(scan.payload, nullptr);
    EXPECT_EQ(scan.length, 0);
    EXPECT_EQ(parser.Pending(), 2u) << "a frame still arriving waits from its 0xD3 on";

    parser.Reset();
    EXPECT_EQ(parser.Pending(), 0u);
    EXPECT_EQ(parser.FreeSpace(), CRTCM3Parser::kRingCapacity);
}

TEST(Rtcm3Parser, TakesOnlyWhatFitsAndNeverOverwritesUnreadBytes)
{
    // Far more short frames than the ring can hold, offered all at once.
    std::vector<std::uint8_t> stream;
    unsigned frames = 0;
    while (stream.size() < 3 * CRTCM3Parser::kRingSize) {
        const auto frame = TolvarRT::testing::rtcm3_reference::Frame(1000 + frames % 100, frames % 5, 0, frames);
        stream.insert(stream.end(), frame.begin(), frame.end());
        ++frames;
    }

    CRTCM3Parser parser;
    std::size_t offset = 0;
    unsigned found = 0;
    while (true) {
        const auto remaining = std::uint32_t(stream.size() - offset);
        const unsigned room = parser.FreeSpace();
        const Scan scan = Parse(parser, stream.data() + offset, remaining);
        ASSERT_EQ(scan.consumed, std::min(remaining, room));
        offset += scan.consumed;
        if (!scan.found && offset == stream.size())
            break;
        if (scan.found) {
            const unsigned length = found % 5;
            ASSERT_EQ(scan.length, length) << "frame " << found;
            if (length >= 2) {
                ASSERT_EQ(scan.messageNumber, 1000 + found % 100) << "frame " << found;
            }
            ++found;
        }
    }
    EXPECT_EQ(found, frames);
    EXPECT_EQ(parser.Pending(), 0u);
}

}  // namespace
}  // namespace TolvarRT
