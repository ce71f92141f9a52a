// The demonstration on the emulated radio link: what the tool measured
// against what the link did, and the status page served while it runs.
#include <gtest/gtest.h>

#include <httplib.h>

#include <chrono>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "cli/demo_command.h"
#include "served_stats.h"

namespace {

TEST(DemoTest, TheMeasuredCountsAgreeWithTheEmulatedLinksAccount)
{
    cli::sDemoOptions options;
    options.loop.seconds = 4;
    options.schedule = 0;
    options.channel.lossPercent = 20;
    options.channel.corruptPercent = 10;
    options.channel.seed = 5;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    EXPECT_NE(result.figures.title.find("UHF-450"), std::string::npos) << "the rover radio answered its identity";
    EXPECT_NE(result.figures.title.find("TR-500"), std::string::npos) << "the base receiver answered its identity";

    std::uint64_t sent = 0, received = 0, matched = 0, unmatched = 0;
    double latencySum = 0;
    for (const cli::sTypeFigures& type : result.figures.types) {
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
    options.loop.seconds = 4;  // time enough to fetch the pages once frames arrive
    options.loop.serve = "127.0.0.1:0";
    std::promise<std::string> served;
    options.loop.onServing = [&](const std::string& url) { served.set_value(url); };
    std::ostringstream progress;
    std::thread test([&] { cli::RunDemo(options, progress); });
    std::future<std::string> url = served.get_future();
    ASSERT_EQ(url.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const std::string address = url.get();
    ASSERT_EQ(address.rfind("http://127.0.0.1:", 0), 0u) << address;
    ASSERT_TRUE(cli::testing::WaitForServedRows(address, std::chrono::seconds(20))) << "frames arrive every second";

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
    ASSERT_FALSE(json["rows"].empty()) << "frames have arrived";
    EXPECT_EQ(json["rows"][0]["name"], "CMR Type 0");
    test.join();
}

}  // namespace
