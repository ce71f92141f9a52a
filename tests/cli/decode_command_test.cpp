// Offline decoding of the real captures, in any chunking.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

#include "capture_manifest.h"
#include "case_name.h"
#include "chunked_feed.h"
#include "cli/decode_command.h"
#include "fake_byte_pipe.h"
#include "rtcm3_frame_builder.h"

namespace {

using Counts = std::map<std::string, std::uint64_t>;

Counts FrameCounts(const cli::sDecodeResult& result)
{
    Counts counts;
    for (const cli::sDecodedType& row : result.frames)
        counts[row.name] = row.count;
    return counts;
}

// The listing holds every byte once in stream order: lost runs fill the gaps
// between frames exactly (frames may share bytes), and it names as many
// frames as the statistics count.
void ExpectListingCoversTheStream(const cli::sDecodeResult& result, const std::string& what)
{
    std::uint64_t covered = 0;
    Counts listed;
    for (const TolvarRT::sListedFrame& entry : result.listing) {
        if (entry.lost)
            EXPECT_EQ(entry.offset, covered) << what << ": lost run at " << entry.offset;
        else
            EXPECT_LE(entry.offset, covered) << what << ": gap before the frame at " << entry.offset;
        EXPECT_GT(entry.length, 0u) << what << ": at " << entry.offset;
        covered = std::max(covered, entry.offset + entry.length);
        if (!entry.lost && entry.frameClass != 0)
            ++listed[entry.name];
    }
    EXPECT_EQ(covered, result.bytesRead) << what;
    EXPECT_EQ(listed, FrameCounts(result)) << what;
}

class DecodeCaptures : public ::testing::TestWithParam<TolvarRT::testing::sManifestEntry> {};

TEST_P(DecodeCaptures, GiveTheManifestsCountsInAnyChunking)
{
    const auto stream = TolvarRT::testing::ReadCapture(GetParam().file);
    for (std::size_t chunk : {std::size_t(1), std::size_t(1024)}) {
        const cli::sDecodeResult result = cli::DecodeStreams({stream}, {chunk, false});
        EXPECT_EQ(FrameCounts(result), GetParam().frames) << GetParam().file << " in chunks of " << chunk;
        ExpectListingCoversTheStream(result, GetParam().file + " in chunks of " + std::to_string(chunk));
        EXPECT_EQ(result.bytesRead, stream.size());
        EXPECT_LT(result.unclaimedBytes, stream.size());
    }
}

INSTANTIATE_TEST_SUITE_P(RealReceivers, DecodeCaptures, ::testing::ValuesIn(TolvarRT::testing::CaptureManifest()),
                         [](const auto& info) { return TolvarRT::testing::NameFromText(info.param.file); });

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
    const std::vector<std::uint8_t> packet = {0x02, 0x00, 0x6F, 0x08, 'T', 'C',  'P',
                                              'B',  'R',  'E',  'A',  'K', 0xC3, 0x03};
    const cli::sDecodeResult result = cli::DecodeStreams({packet, {0x0D, 0x0A}}, {7, false});
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].name, "Packet Type 0x6F");
    EXPECT_EQ(result.packets[0].bytes, 14u);
    // Trailing bytes a decoder still holds for a frame that may follow are
    // not counted as unclaimed.
    EXPECT_LE(result.unclaimedBytes, 2u);
    EXPECT_NE(cli::DecodeText(result).find("Bytes read 16, claimed by no decoder"), std::string::npos);
}

// A frame behind a stray start is listed with the chunk that holds its last
// byte, and so are the stray bytes, given up there.
TEST(DecodeTest, AFrameBehindAStrayStartIsListedWithTheChunkOfItsLastByte)
{
    const std::vector<TolvarRT::testing::StrayBeforeFrames> cases = {
        {"RTCM v3 Type 1005",
         {0xD3, 0x03, 0xFF, 0x01, 0x02, 0x03},
         {TolvarRT::testing::rtcm3_reference::Frame(1005, 19)}},
        {"Packet Type 0x6F",
         {0x02, 0x00, 0x93, 0xFF, 0x01, 0x02, 0x03},
         {{0x02, 0x00, 0x6F, 0x08, 'T', 'C', 'P', 'B', 'R', 'E', 'A', 'K', 0xC3, 0x03}}}};
    for (const auto& c : cases)
        for (const std::size_t chunk : TolvarRT::testing::kPortChunkSizes) {
            SCOPED_TRACE(std::string(c.what) + ", chunks of " + std::to_string(chunk));
            const cli::sDecodeResult result = cli::DecodeStreams({c.Stream()}, {chunk, false});
            const std::uint64_t lastChunk = (c.Stream().size() - 1) / chunk;
            ASSERT_EQ(result.listing.size(), 2u);
            const TolvarRT::sListedFrame& lost = result.listing[0];
            EXPECT_TRUE(lost.lost && !lost.held);
            EXPECT_EQ(lost.offset, 0u);
            EXPECT_EQ(lost.length, c.before.size());
            EXPECT_EQ(lost.chunk, lastChunk);
            const TolvarRT::sListedFrame& frame = result.listing[1];
            EXPECT_FALSE(frame.lost);
            EXPECT_EQ(frame.name, c.what);
            EXPECT_EQ(frame.offset, c.before.size());
            EXPECT_EQ(frame.length, c.frames[0].size());
            EXPECT_EQ(frame.chunk, lastChunk);
        }
}

TEST(DecodeTest, FrameLinesAreOneJsonObjectAnEntryWithNullsWhereNothingIsKnown)
{
    const std::vector<std::uint8_t> packet = {0x02, 0x00, 0x93, 0x02, 0x00, 0x29, 0xBE, 0x03};
    std::vector<std::uint8_t> stream = {0x0D, 0x0A, 0xFF};
    stream.insert(stream.end(), packet.begin(), packet.end());
    EXPECT_EQ(cli::FrameLines(cli::DecodeStreams({stream}, {4, false})),
              "{\"offset\":0,\"length\":3,\"class\":null,\"type\":null,\"name\":\"lost\",\"chunk\":0}\n"
              "{\"offset\":3,\"length\":8,\"class\":1,\"type\":1,\"name\":\"CMR Type 1\",\"chunk\":2}\n");
    // Bytes a decoder still holds at the end were given up by nobody: here
    // the RTCM v3 decoder waits for the rest of a frame.
    EXPECT_EQ(cli::FrameLines(cli::DecodeStreams({{0xD3, 0x03, 0xFF}}, {4, false})),
              "{\"offset\":0,\"length\":3,\"class\":null,\"type\":null,\"name\":\"lost\",\"chunk\":null}\n");
}

}  // namespace

namespace {

// The line of the first frame named name in a capture's listing.
std::string LineOf(const std::string& capture, const std::string& name)
{
    const cli::sDecodeResult result = cli::DecodeStreams({TolvarRT::testing::ReadCapture(capture)}, {1024, false});
    for (const TolvarRT::sListedFrame& entry : result.listing)
        if (entry.name == name)
            return cli::FrameLine(entry);
    return "no " + name;
}

// What the frames say about themselves follows where and what they are, with
// the values gpsdecode -j and convbin give (see the content reader's tests).
TEST(DecodeTest, FrameLinesCarryTheFramesOwnContent)
{
    const std::string ntrip = "pygpsdata-NTRIP-USCL00CHL0.log";
    struct Row {
        std::string capture, name, fields;
    };
    const Row rows[] = {
        {ntrip, "RTCM v3 Type 1004", R"("station_id":0,"gnss":"GPS","tow":318945000,"sync":true,"satellites":11})"},
        {ntrip, "RTCM v3 Type 1012", R"("station_id":0,"gnss":"GLONASS","tod":70527000,"sync":true,"satellites":8})"},
        {ntrip, "RTCM v3 Type 1087",
         R"("station_id":0,"gnss":"GLONASS","tod":70527000,"dow":3,"multiple":true,"satellites":8,"signals":4,)"
         R"("cells":28})"},
        {ntrip, "RTCM v3 Type 1127",
         R"("station_id":0,"gnss":"BeiDou","tow":318931000,"multiple":true,"satellites":11,"signals":3,"cells":23})"},
        {ntrip, "RTCM v3 Type 1006",
         R"("station_id":0,"x":1762489.6191,"y":-5027633.8438,"z":-3496008.8438,"h":0.0343})"},
        {ntrip, "RTCM v3 Type 1007", R"("station_id":0,"desc":"SEPCHOKE_B3E6   SPKE","setup_id":0})"},
        {ntrip, "RTCM v3 Type 1033",
         R"("station_id":0,"desc":"SEPCHOKE_B3E6   SPKE","setup_id":0,"serial":"5856","receiver":"SEPT POLARX5",)"
         R"("firmware":"5.5.0","receiver_serial":"3075024"})"},
        {ntrip, "RTCM v3 Type 1019", R"("chunk":0})"},
        {"ublox-f9p-rtcm.log", "RTCM v3 Type 1008",
         R"("station_id":278,"desc":"GPPNULLANTENNA","setup_id":0,"serial":""})"},
        {"sample.rtcm2", "RTCM v2 Type 9", R"("station_id":268,"zcount":249.6,"sequence":1})"},
    };
    for (const Row& row : rows) {
        const std::string line = LineOf(row.capture, row.name);
        EXPECT_NE(line.find(row.fields + "\n"), std::string::npos) << line;
    }
}

TEST(DecodeTest, CmrFrameLinesCarryStationEpochAndSatellites)
{
    // A CMR type 0 packet: version 3, station 7; 1 satellite; epoch 123456 ms.
    std::vector<std::uint8_t> data = {
        0x67, 0x01, std::uint8_t(123456 >> 10), std::uint8_t(123456 >> 2), std::uint8_t((123456 & 3) << 6), 0};
    data.resize(14, 0);
    std::vector<std::uint8_t> packet = {0x02, 0x00, 0x93, std::uint8_t(data.size())};
    packet.insert(packet.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::size_t i = 1; i < packet.size(); ++i)
        sum += packet[i];
    packet.push_back(std::uint8_t(sum));
    packet.push_back(0x03);
    const std::string lines = cli::FrameLines(cli::DecodeStreams({packet}, {5, false}));
    EXPECT_NE(
        lines.find(R"("name":"CMR Type 0","chunk":3,"station_id":7,"gnss":"GPS","epoch_ms":123456,"satellites":1})"),
        std::string::npos)
        << lines;
}

}  // namespace

namespace {

// Without --frames, decode sums up what the frames told: the base, whole
// epochs per GNSS, satellites; no ages, which need arrival times.
TEST(DecodeTest, TheContentSummaryOfARealBase)
{
    const auto stream = TolvarRT::testing::ReadCapture("testglo.rtcm3");
    const cli::sDecodeResult result = cli::DecodeStreams({stream}, {1024, false});
    const TolvarRT::sContentSnapshot& content = result.content;
    EXPECT_TRUE(content.ages.empty());
    EXPECT_EQ(content.clock.noAgesReason, "decoding gives none (a run on a recording does)");
    ASSERT_EQ(content.stations.size(), 1u);
    // 1005 in every frame of its type (gpsdecode); latitude and longitude by a closed-form conversion.
    EXPECT_EQ(content.stations[0].frames, 391u);
    EXPECT_NEAR(content.stations[0].latitude, 35.872988846, 1e-8);
    EXPECT_NEAR(content.stations[0].longitude, 138.389665471, 1e-8);
    EXPECT_FALSE(content.mixedStations);
    // 186 epochs of 1004 followed by 1012, whose synchronous flag ends each.
    ASSERT_EQ(content.epochs.size(), 2u);
    for (const TolvarRT::sEpochFigures& epochs : content.epochs) {
        SCOPED_TRACE(TolvarRT::GnssName(epochs.gnss));
        EXPECT_DOUBLE_EQ(epochs.intervalS, 1.0);
        EXPECT_EQ(epochs.seen, 186u);
        EXPECT_EQ(epochs.complete, 186u);
        EXPECT_EQ(epochs.lost, 0u);
    }
    ASSERT_EQ(content.satellites.size(), 2u);
    EXPECT_EQ(content.satellites[0].satellitesMax, 11u);
    const std::string text = cli::DecodeText(result);
    EXPECT_NE(text.find("\nStream content:\n    no ages: decoding gives none (a run on a recording does)\n"),
              std::string::npos);
    EXPECT_EQ(cli::DecodeJson(result)["content"]["epochs"].size(), 2u);
}

}  // namespace
