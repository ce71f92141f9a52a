// The demonstration on the emulated radio link: what the tool measured
// against what the link did, and the status page served while it runs.
#include <gtest/gtest.h>

#include <httplib.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "cli/demo_command.h"
#include "served_stats.h"
#include "stats/link_figures.h"
#include "temp_folder.h"

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

    // Every figure is the link's own account: corrupted packets fail their
    // checksum, so they are missed, not received.
    const TolvarRT::sRadioAccount& account = result.account;
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_GT(account.sent, 10u);
    EXPECT_EQ(account.sent, account.dropped + account.corrupted + account.delivered);
    EXPECT_GT(account.dropped * account.corrupted, 0u) << "seed 5 both drops and corrupts";
    EXPECT_EQ(total.sent, account.sent) << "every generated packet went over the air";
    EXPECT_EQ(total.received, account.delivered);
    EXPECT_EQ(total.matched, account.delivered);
    EXPECT_EQ(total.missed, account.dropped + account.corrupted);
    EXPECT_EQ(total.inFlight, 0u) << "the link drained";
    EXPECT_EQ(total.unmatched, 0u);
    EXPECT_EQ(total.late, 0u) << "80..100 ms against a period of 1 s";
    ASSERT_GT(total.matched, 0u);
    // No packet is delivered sooner than the link's latency.
    EXPECT_GE(total.latencyMinS * 1000.0, options.channel.latencyMs - 1.0);
    EXPECT_GE(total.latencyMaxS, total.LatencyMeanS());

    // The text says what the JSON says.
    const nlohmann::json json = cli::DemoJson(result)["measuredTotal"];
    const std::string line = "All types: " + std::to_string(json["sent"].get<int>()) + " sent, " +
                             std::to_string(json["received"].get<int>()) + " received, " +
                             std::to_string(json["matched"].get<int>()) + " matched, " +
                             std::to_string(json["missed"].get<int>()) + " missed, ";
    EXPECT_EQ(json["missed"], account.dropped + account.corrupted);
    EXPECT_NE(cli::DemoText(result).find(line), std::string::npos) << line;
    EXPECT_TRUE(progress.str().empty()) << "no redraw unless asked";
    EXPECT_EQ(cli::DemoJson(result)["link"]["delivered"], account.delivered);
}

// Both sinks take every thread's texts at level All while the counts still
// come out exact: the file log as run writes it, and a pane's queue drained
// by its own thread.
TEST(DemoTest, TheLogFileAndALogPaneTakeTheWholeTestAtLevelAll)
{
    TolvarRT::testing::TempFolder folder;
    cli::sDemoOptions options;
    options.loop.seconds = 3;
    options.schedule = 0;
    options.logFile = folder.File("demo.txt");
    options.logLevel = 3;
    options.paneLevel = 3;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_EQ(total.sent, result.account.sent);
    EXPECT_EQ(total.matched, result.account.delivered);
    EXPECT_EQ(total.missed, result.account.dropped + result.account.corrupted);

    std::ifstream file(options.logFile);
    std::stringstream log;
    log << file.rdbuf();
    EXPECT_NE(log.str().find("Rx Vendcomm CMD="), std::string::npos) << "texts of level All";
    // The pane joined after the file opened and left before it closed.
    EXPECT_GT(result.paneBytes, 1000u);
    EXPECT_LE(result.paneBytes, log.str().size());

    options.logFile = folder.File("missing/demo.txt");
    EXPECT_NE(cli::RunDemo(options, progress).error.find(options.logFile + ": "), std::string::npos)
        << "a log file that cannot be made stops the demo before it starts";
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
