// Offline decoding of the real captures, in any chunking.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

#include "cli/decode_command.h"
#include "capture_manifest.h"
#include "fake_byte_pipe.h"

namespace {

using Counts = std::map<std::string, std::uint64_t>;

Counts FrameCounts(const cli::sDecodeResult& result)
{
    Counts counts;
    for (const cli::sDecodedType& row : result.frames)
        counts[row.name] = row.count;
    return counts;
}

class DecodeCaptures : public ::testing::TestWithParam<TolvarRT::testing::sManifestEntry> {};

TEST_P(DecodeCaptures, GiveTheManifestsCountsInAnyChunking)
{
    const auto stream = TolvarRT::testing::ReadCapture(GetParam().file);
    for (std::size_t chunk : {std::size_t(1), std::size_t(1024)}) {
        const cli::sDecodeResult result = cli::DecodeStreams({stream}, {chunk, false});
        EXPECT_EQ(FrameCounts(result), GetParam().frames)
            << GetParam().file << " in chunks of " << chunk;
        EXPECT_EQ(result.bytesRead, stream.size());
        EXPECT_LT(result.unclaimedBytes, stream.size());
    }
}

INSTANTIATE_TEST_SUITE_P(RealReceivers, DecodeCaptures, ::testing::ValuesIn(TolvarRT::testing::CaptureManifest()),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& ch : name)
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(DecodeTest, JsonRowsCarryNameClassTypeCountAndBytes)
{
    const auto stream = TolvarRT::testing::ReadCapture("sample.rtcm2");
    const nlohmann::json json = cli::DecodeJson(cli::DecodeStreams({stream}, {64, false}));
    ASSERT_EQ(json["frames"].size(), 1u);
    const auto& row = json["frames"][0];
    EXPECT_EQ(row["name"], "RTCM v2 Type 9");
    EXPECT_EQ(row["class"], 2);
    EXPECT_EQ(row["type"], 9);
    EXPECT_EQ(row["count"], 131);
    EXPECT_GT(row["bytes"].get<std::uint64_t>(), 0u);
    EXPECT_EQ(json["bytesRead"], stream.size());
}

TEST(DecodeTest, DataCollectorPacketsAreListedByType)
{
    const std::vector<std::uint8_t> packet = {0x02, 0x00, 0x6F, 0x08, 'T', 'C', 'P', 'B',
                                              'R',  'E',  'A',  'K',  0xC3, 0x03};
    const cli::sDecodeResult result = cli::DecodeStreams({packet, {0x0D, 0x0A}}, {7, false});
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].name, "Packet Type 0x6F");
    EXPECT_EQ(result.packets[0].bytes, 14u);
    // Trailing bytes a decoder still holds for a frame that may follow are
    // not counted as unclaimed.
    EXPECT_LE(result.unclaimedBytes, 2u);
    EXPECT_NE(cli::DecodeText(result).find("Bytes read 16, claimed by no decoder"), std::string::npos);
}

}  // namespace
