// Offline decoding of the real captures, and the command's exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <map>
#include <sstream>
#include <string>

#include "cli/decode_command.h"
#include "cli/demo_command.h"
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

struct CaptureCase {
    const char* file;
    Counts expected;  // the counts of the captures' manifest
};

class DecodeCaptures : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(DecodeCaptures, GiveTheManifestsCountsInAnyChunking)
{
    const auto stream = TolvarRT::testing::ReadCapture(GetParam().file);
    for (std::size_t chunk : {std::size_t(1), std::size_t(1024)}) {
        const cli::sDecodeResult result = cli::DecodeStreams({stream}, {chunk, false});
        EXPECT_EQ(FrameCounts(result), GetParam().expected) << GetParam().file << " in chunks of " << chunk;
        EXPECT_EQ(result.bytesRead, stream.size());
        EXPECT_LT(result.unclaimedBytes, stream.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    RealReceivers, DecodeCaptures,
    ::testing::Values(
        CaptureCase{"testglo.rtcm3",
                    {{"RTCM v3 Type 1004", 186}, {"RTCM v3 Type 1005", 19}, {"RTCM v3 Type 1012", 186},
                     {"RTCM v3 Type 1019", 19}, {"RTCM v3 Type 1020", 19}}},
        CaptureCase{"hemi.log", {{"NMEA GPGGA Auto", 21}, {"NMEA GPGGA No Pos", 194}, {"NMEA GPZDA", 108}}},
        CaptureCase{"sample.rtcm2", {{"RTCM v2 Type 9", 131}}}));

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

TEST(DemoTest, TheMeasuredCountsAgreeWithTheEmulatedLinksAccount)
{
    cli::sDemoOptions options;
    options.seconds = 4;
    options.schedule = 0;
    options.channel.lossPercent = 20;
    options.channel.corruptPercent = 10;
    options.channel.seed = 5;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    EXPECT_NE(result.title.find("UHF-450"), std::string::npos) << "the rover radio answered its identity";
    EXPECT_NE(result.title.find("TR-500"), std::string::npos) << "the base receiver answered its identity";

    std::uint64_t sent = 0, received = 0, matched = 0, unmatched = 0;
    double latencySum = 0;
    for (const cli::sDemoTypeResult& type : result.types) {
        sent += type.sourceFrames;
        received += type.received;
        matched += type.matched;
        unmatched += type.unmatched;
        latencySum += type.meanLatencyMs * type.matched;
    }
    const TolvarRT::sRadioAccount& account = result.account;
    EXPECT_GT(account.sent, 10u);
    EXPECT_EQ(sent, account.sent) << "every generated packet went over the air";
    EXPECT_EQ(account.sent, account.dropped + account.corrupted + account.delivered);
    EXPECT_EQ(received, account.delivered) << "corrupted packets fail their checksum";
    EXPECT_EQ(matched, account.delivered);
    EXPECT_EQ(unmatched, 0u);
    ASSERT_GT(matched, 0u);
    EXPECT_NEAR(latencySum / double(matched), account.MeanDelayMs(), 3.0);
    EXPECT_TRUE(progress.str().empty()) << "no redraw unless asked";
    EXPECT_EQ(cli::DemoJson(result)["link"]["delivered"], account.delivered);
}

TEST(DemoTest, TheStatusPageAndTheStatisticsAreServedWhileTheTestRuns)
{
    cli::sDemoOptions options;
    options.seconds = 3;
    options.serve = "127.0.0.1:0";
    std::promise<std::string> served;
    options.onServing = [&](const std::string& url) { served.set_value(url); };
    std::ostringstream progress;
    std::thread test([&] { cli::RunDemo(options, progress); });
    std::future<std::string> url = served.get_future();
    ASSERT_EQ(url.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const std::string address = url.get();
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));

    httplib::Client client(address.substr(0, address.size() - 1));
    const auto index = client.Get("/");
    ASSERT_TRUE(index);
    EXPECT_EQ(index->status, 200);
    const std::size_t href = index->body.find("href=\"");
    ASSERT_NE(href, std::string::npos);
    const std::string pagePath = index->body.substr(href + 6, index->body.find('"', href + 6) - href - 6);
    EXPECT_EQ(pagePath.rfind("/TolvarTestSuiteDoc_", 0), 0u);

    const auto page = client.Get(pagePath);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Refresh"), "60");
    EXPECT_NE(page->body.find("Status of Window :Listener : "), std::string::npos);

    const auto stats = client.Get("/api/stats");
    ASSERT_TRUE(stats);
    const nlohmann::json json = nlohmann::json::parse(stats->body);
    ASSERT_FALSE(json["rows"].empty()) << "frames have arrived after two seconds";
    EXPECT_EQ(json["rows"][0]["name"], "CMR Type 0");
    test.join();
}

int ExitStatus(const std::string& arguments)
{
    const int status = std::system((std::string(TOLVAR_COMMAND) + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CommandTest, ExitStatusesTellSuccessBadArgumentsAndFilesThatCannotBeRead)
{
    EXPECT_EQ(ExitStatus("--help"), 0);
    EXPECT_EQ(ExitStatus(""), 2);
    EXPECT_EQ(ExitStatus("frobnicate"), 2);
    EXPECT_EQ(ExitStatus("decode --chunk 0 x"), 2);
    EXPECT_EQ(ExitStatus("decode /no/such/capture"), 1);
    EXPECT_EQ(ExitStatus(std::string("decode ") + TOLVAR_CAPTURES "/hemi.log"), 0);
}

}  // namespace
