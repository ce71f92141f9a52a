// "/api/stats" as a client polling it sees the statistics: figures as numbers
// with their units, and the statistics table left to show every change.
#include <gtest/gtest.h>

#include <httplib.h>

#include <nlohmann/json.hpp>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "core/time_base.h"
#include "scripted_document_ui.h"
#include "web/status_server.h"

namespace {

using namespace TolvarRT;

constexpr TimeStamp kMillisecond = 1'000'000;

class StatusServerTest : public ::testing::Test {
protected:
    StatusServerTest()
    {
        document.ListenerStatistics().SetSource(&document.SourceStatistics());
        std::string error;
        started = server.Start("127.0.0.1:0", error);
        EXPECT_TRUE(started) << error;
    }

    // One CMR type-0 frame of 100 bytes sent at the given millisecond and
    // received latencyMs later.
    void Frame(std::uint16_t sum, TimeStamp atMs, TimeStamp latencyMs)
    {
        document.SourceStatistics().RecordFrame(kFrameClassCMR, 0, 100, sum, start + atMs * kMillisecond);
        document.ListenerStatistics().RecordFrame(kFrameClassCMR, 0, 100, sum,
                                                  start + (atMs + latencyMs) * kMillisecond);
    }

    nlohmann::json Stats()
    {
        httplib::Client client("127.0.0.1", server.Port());
        const auto response = client.Get("/api/stats");
        EXPECT_TRUE(response && response->status == 200);
        return response ? nlohmann::json::parse(response->body) : nlohmann::json();
    }

    const TimeStamp start = TimeStampNow();
    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
    web::CStatusServer server{document};
    bool started = false;
};

TEST_F(StatusServerTest, PollingBetweenTwoFramesLeavesTheSecondToTheNextTableRefresh)
{
    ASSERT_TRUE(started);
    Frame(11, 0, 40);
    document.RefreshStatistics();
    Frame(22, 1000, 45);
    const nlohmann::json stats = Stats();
    document.RefreshStatistics();
    const std::vector<sStatsRow> rows = document.StatisticsRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[kColumnCount], "2");
    EXPECT_EQ(rows[0].cells[kColumnSourceCount], "2");
    EXPECT_EQ(rows[0].cells[kColumnLastLatency], "045 ms");

    ASSERT_EQ(stats["rows"].size(), 1u);
    const nlohmann::json& row = stats["rows"][0];
    EXPECT_TRUE(row["count"].is_number_integer()) << row;
    EXPECT_EQ(row["count"], 2);
    EXPECT_EQ(row["sourceCount"], 2);
    EXPECT_EQ(row["lastSizeBytes"], 100);
    EXPECT_DOUBLE_EQ(row["percentReceived"].get<double>(), 100.0);
    // Sent at 0 and 1000 ms, received 40 and 45 ms later: 1045 - 40 = 1005
    // ms between arrivals, (40 + 45) / 2 = 42.5 ms on average.
    EXPECT_NEAR(row["lastIntervalS"].get<double>(), 1.005, 1e-6);
    EXPECT_NEAR(row["lastLatencyMs"].get<double>(), 45.0, 1e-6);
    EXPECT_NEAR(row["averageLatencyMs"].get<double>(), 42.5, 1e-6);
    EXPECT_TRUE(row["rating"].is_null()) << "no period yet";

    const nlohmann::json& measured = stats["measured"][0];
    EXPECT_EQ(measured["sent"], 2);
    EXPECT_EQ(measured["matched"], 2);
    EXPECT_EQ(measured["missed"], 0);
    EXPECT_NEAR(measured["latencyMaxMs"].get<double>(), 45.0, 1e-6);
    EXPECT_EQ(stats["measuredTotal"]["received"], 2);
}
TEST_F(StatusServerTest, AddressesAreJudgedBeforeAnythingListensAndATakenPortGivesTheSystemsReason)
{
    std::string host;
    int port = -1;
    std::string error;
    ASSERT_TRUE(web::ParseServeAddress("8080", host, port, error));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8080);
    ASSERT_TRUE(web::ParseServeAddress("0.0.0.0:0", host, port, error));
    EXPECT_EQ(host, "0.0.0.0");
    EXPECT_EQ(port, 0);
    for (const char* bad : {"127.0.0.1:80800", "127.0.0.1:x", "127.0.0.1:", "127.0.0.1:+80", "127.0.0.1:-1"}) {
        EXPECT_FALSE(web::ParseServeAddress(bad, host, port, error)) << bad;
        EXPECT_EQ(error.rfind(std::string("--serve ") + bad + ": expected ADDR:PORT", 0), 0u) << error;
    }

    ASSERT_TRUE(started);
    web::CStatusServer second{document};
    const std::string taken = "127.0.0.1:" + std::to_string(server.Port());
    EXPECT_FALSE(second.Start(taken, error));
    EXPECT_EQ(error, "--serve " + taken + ": Address already in use");
}

// A monitor's server: every link at its own paths, one exposition for all,
// labelled by name; the single test's paths belong to single tests only.
TEST(StatusServerLinksTest, EveryLinkHasItsPageAndStatisticsAndOneMetricsServesThemAll)
{
    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc north{settings, ui};
    CTolvarTestSuiteDoc south{settings, ui};
    north.ListenerStatistics().UseLinkedSourceOnly();
    south.ListenerStatistics().UseLinkedSourceOnly();
    const TimeStamp start = TimeStampNow();
    for (int i = 0; i < 3; ++i)
        south.ListenerStatistics().RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kMillisecond);
    web::CStatusServer server({{"north", &north}, {"south", &south}});
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1:0", error)) << error;
    httplib::Client client("127.0.0.1", server.Port());

    const auto index = client.Get("/");
    ASSERT_TRUE(index && index->status == 200);
    EXPECT_NE(index->body.find("href=\"/link/north/\""), std::string::npos) << index->body;
    EXPECT_NE(index->body.find("href=\"/link/south/\""), std::string::npos) << index->body;
    for (const char* name : {"north", "south"}) {
        SCOPED_TRACE(name);
        const auto page = client.Get(std::string("/link/") + name + "/");
        EXPECT_TRUE(page && page->status == 200);
    }
    const auto stats = client.Get("/link/south/api/stats");
    ASSERT_TRUE(stats && stats->status == 200);
    EXPECT_EQ(nlohmann::json::parse(stats->body)["measuredTotal"]["received"], 3);
    const auto northStats = client.Get("/link/north/api/stats");
    ASSERT_TRUE(northStats && northStats->status == 200);
    EXPECT_EQ(nlohmann::json::parse(northStats->body)["measuredTotal"]["received"], 0);
    EXPECT_EQ(client.Get("/api/stats")->status, 404);
    EXPECT_EQ(client.Get(north.PagePath())->status, 404);

    const auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics && metrics->status == 200);
    const std::string& text = metrics->body;
    EXPECT_NE(text.find("tolvar_received_bytes_total{link=\"north\",side=\"listener\"}"), std::string::npos) << text;
    EXPECT_NE(text.find("{link=\"south\",side=\"listener\",type=\"CMR Type 0\"} 3"), std::string::npos) << text;
    std::size_t families = 0;
    for (std::size_t at = text.find("# TYPE tolvar_port_open "); at != std::string::npos;
         at = text.find("# TYPE tolvar_port_open ", at + 1))
        ++families;
    EXPECT_EQ(families, 1u) << "each family once";
}

}  // namespace
