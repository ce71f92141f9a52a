// The stream content as /api/stats and --json give it, and as the metrics
// give it to a monitoring server: field names, units, nulls for what was not
// seen, and no key for a side that saw nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "content_figures.h"
#include "web/metrics_text.h"
#include "web/stats_output.h"

namespace {

using namespace TolvarRT;
using TolvarRT::testing::BaseStationContent;

TEST(ContentJsonTest, EveryFigureIsThereInItsUnit)
{
    const nlohmann::json json = web::ContentJson(BaseStationContent());
    const nlohmann::json& age = json["age"][0];
    EXPECT_EQ(age["name"], "RTCM v3 Type 1077");
    EXPECT_EQ(age["type"], 1077);
    EXPECT_NEAR(age["mean_ms"].get<double>(), 800.0, 1e-9);
    EXPECT_NEAR(age["min_ms"].get<double>(), 500.0, 1e-9);
    EXPECT_NEAR(age["max_ms"].get<double>(), 1100.0, 1e-9);
    EXPECT_NEAR(age["median_ms"].get<double>(), 700.0, 700.0 * 0.011) << "within a bucket's width";
    EXPECT_NEAR(age["p95_ms"].get<double>(), 1100.0, 1100.0 * 0.011);
    EXPECT_GT(age["rms_ms"].get<double>(), 800.0);
    EXPECT_EQ(age["count"], 4);
    EXPECT_EQ(json["age"][1]["clock_faults"], 2);

    const nlohmann::json epochs = json["epochs"];
    ASSERT_EQ(epochs.size(), 2u);
    EXPECT_EQ(epochs[0], nlohmann::json({{"station_id", 2003},
                                         {"gnss", "GPS"},
                                         {"interval_s", 1.0},
                                         {"seen", 60},
                                         {"complete", 57},
                                         {"incomplete", 1},
                                         {"lost", 2}}));
    EXPECT_TRUE(epochs[1]["interval_s"].is_null()) << "not learned yet";

    const nlohmann::json& station = json["stations"][0];
    for (const char* field : {"station_id", "x", "y", "z", "h", "latitude", "longitude", "height", "desc", "setup_id",
                              "serial", "receiver", "firmware", "baseline_m"})
        EXPECT_TRUE(station.contains(field)) << field;
    EXPECT_DOUBLE_EQ(station["z"].get<double>(), 4943963.3406);
    EXPECT_DOUBLE_EQ(station["h"].get<double>(), 1.5);
    EXPECT_EQ(station["desc"], "TRM59800.00     NONE");
    EXPECT_EQ(station["setup_id"], 3);
    EXPECT_DOUBLE_EQ(station["baseline_m"].get<double>(), 1234.5678);

    EXPECT_EQ(json["satellites"][0]["gnss"], "GPS");
    EXPECT_EQ(json["satellites"][0]["max"], 11);
    EXPECT_EQ(json["clock"], nlohmann::json({{"known", true},
                                             {"synchronised", true},
                                             {"estimated_error_ms", 2.0},
                                             {"maximum_error_ms", 150.0},
                                             {"gps_minus_utc", 18},
                                             {"leap_seconds_problem", nullptr},
                                             {"no_ages_reason", nullptr}}));
}

TEST(ContentJsonTest, WhatWasNotSeenIsNullAndASideWithoutContentHasNoKey)
{
    sContentSnapshot unseen = BaseStationContent();
    unseen.stations[0].hasReferencePoint = false;
    unseen.stations[0].hasAntennaHeight = false;
    unseen.stations[0].baselineM = -1.0;
    unseen.ages[0].ages.Clear();
    unseen.clock.host = {};
    unseen.clock.noAgesReason = "the epochs do not follow the clock";
    const nlohmann::json json = web::ContentJson(unseen);
    for (const char* field : {"x", "latitude", "height", "h", "baseline_m"})
        EXPECT_TRUE(json["stations"][0][field].is_null()) << field;
    EXPECT_TRUE(json["age"][0]["mean_ms"].is_null());
    EXPECT_EQ(json["age"][0]["count"], 0);
    EXPECT_EQ(json["clock"]["known"], false);
    EXPECT_EQ(json["clock"]["synchronised"], false);
    EXPECT_TRUE(json["clock"]["estimated_error_ms"].is_null());
    EXPECT_EQ(json["clock"]["no_ages_reason"], "the epochs do not follow the clock");

    const sContentSnapshot none;
    const sContentSnapshot base = BaseStationContent();
    const struct {
        const sContentSnapshot& listener;
        const sContentSnapshot* source;
        bool listenerKey;
        bool sourceKey;
    } cases[] = {{base, &base, true, true},
                 {base, &none, true, false},
                 {none, &base, false, true},
                 {base, nullptr, true, false},
                 {none, nullptr, false, false}};
    for (const auto& c : cases) {
        nlohmann::json figures = {{"title", "x"}};
        web::AddContentJson(c.listener, c.source, figures);
        EXPECT_EQ(figures["content"].contains("listener"), c.listenerKey) << figures;
        EXPECT_EQ(figures["content"].contains("source"), c.sourceKey) << figures;
        EXPECT_EQ(figures["title"], "x");
    }
}

std::vector<std::string> Lines(const std::string& text, const std::string& start)
{
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(start, 0) == 0)
            found.push_back(line);
    return found;
}

web::sLinkMetrics ContentLink()
{
    web::sLinkMetrics link;
    link.link = "rover";
    link.hostClock = {true, true, 0.002, 0.1};
    web::sSideMetrics listener;
    listener.side = "listener";
    listener.content = BaseStationContent();
    link.sides = {listener};
    return link;
}

TEST(ContentMetricsTest, AgesEpochsStationsAndTheClockAreExposed)
{
    web::sLinkMetrics unsynchronised = ContentLink();
    unsynchronised.link = "base";
    unsynchronised.hostClock.synchronised = false;
    const std::string text = web::MetricsText({ContentLink(), unsynchronised});
    const std::vector<std::string> buckets =
        Lines(text, "tolvar_correction_age_seconds_bucket{link=\"rover\",side=\"listener\",type=\"RTCM v3 Type 1077\"");
    ASSERT_EQ(buckets.size(), CLatencyHistogram::kCoarseBoundsS.size() + 1) << "the latency histogram's bounds";
    // 0.5 at 0.5 s; 0.7 and 0.9 by 1 s; 1.1 by 2.5 s.
    EXPECT_EQ(buckets[5],
              "tolvar_correction_age_seconds_bucket{link=\"rover\",side=\"listener\",type=\"RTCM v3 Type "
              "1077\",le=\"0.5\"} 1");
    EXPECT_EQ(buckets[6].substr(buckets[6].rfind(' ')), " 3");
    EXPECT_EQ(buckets[7].substr(buckets[7].rfind(' ')), " 4");
    EXPECT_EQ(buckets.back().substr(buckets.back().rfind(' ')), " 4");
    EXPECT_EQ(Lines(text, "tolvar_correction_age_seconds_count{link=\"rover\"").size(), 2u) << "per type";

    EXPECT_EQ(Lines(text,
                    "tolvar_epochs_total{link=\"rover\",side=\"listener\",gnss=\"GPS\",station=\"2003\","
                    "state=\"lost\"} 2")
                  .size(),
              1u)
        << text;
    EXPECT_EQ(Lines(text, "tolvar_epochs_total{link=\"rover\"").size(), 6u) << "three states of two GNSS";
    EXPECT_EQ(Lines(text,
                    "tolvar_station_info{link=\"rover\",side=\"listener\",station=\"2003\",antenna=\"TRM59800.00 "
                    "    NONE\",setup_id=\"3\",antenna_serial=\"5000112233\",receiver=\"BASE \\\"RX\\\" 5\","
                    "firmware=\"5.45\",receiver_serial=\"R-77\"} 1")
                  .size(),
              1u)
        << text;
    EXPECT_EQ(Lines(text, "tolvar_host_clock_synchronised{link=\"rover\"} 1").size(), 1u);
    EXPECT_EQ(Lines(text, "tolvar_host_clock_synchronised{link=\"base\"} 0").size(), 1u);
    for (const char* family : {"correction_age_seconds", "epochs_total", "station_info", "host_clock_synchronised"})
        EXPECT_EQ(Lines(text, std::string("# TYPE tolvar_") + family + " ").size(), 1u) << family;
}

}  // namespace
