// The exposition a monitoring server scrapes: each family once with its help
// and type, labels escaped, the latency histogram cumulative and exact at its
// bounds, correlation figures only where a side is correlated.
#include <gtest/gtest.h>

#include <sstream>

#include "web/metrics_text.h"

namespace web {
namespace {

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& start)
{
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(start, 0) == 0)
            found.push_back(line);
    return found;
}

TolvarRT::sLinkFigures Type(const std::string& name, std::uint64_t received)
{
    TolvarRT::sLinkFigures figures;
    figures.name = name;
    figures.received = received;
    return figures;
}

sLinkMetrics TwoSidedLink()
{
    sLinkMetrics link;
    link.link = "ntrip://caster/M\"x\\y\n\xE9";  // a quote, a backslash, a line end and a Latin-1 byte
    link.startTimeS = 1796700000.5;
    sSideMetrics listener;
    listener.side = "listener";
    listener.correlated = true;
    listener.portOpen = true;
    listener.receivedBytes = 1234;
    listener.outageSeconds = 12.5;
    TolvarRT::sLinkFigures cmr = Type("CMR Type 0", 9);
    cmr.sent = 10;
    cmr.matched = 9;
    cmr.missed = 1;
    // On the bounds (a sample equal to a bound is within it), between them
    // and beyond the last.
    for (const double seconds : {-0.001, 0.01, 0.0100001, 0.1, 0.7, 30.0, 31.0, 45.0, 120.0})
        cmr.transits.Add(seconds);
    listener.types.push_back(cmr);
    sSideMetrics source;
    source.side = "source";
    source.types.push_back(Type("CMR Type 0", 10));
    link.sides = {listener, source};
    return link;
}

TEST(MetricsTextTest, EveryFamilyOnceWithItsSamplesForEveryLinkTogether)
{
    sLinkMetrics second = TwoSidedLink();
    second.link = "second";
    const std::string text = MetricsText({TwoSidedLink(), second});
    for (const char* family : {"test_start_time_seconds", "port_open", "frames_received_total", "frames_missed_total",
                               "frame_latency_seconds"}) {
        SCOPED_TRACE(family);
        EXPECT_EQ(LinesStartingWith(text, std::string("# TYPE tolvar_") + family + " ").size(), 1u);
        EXPECT_EQ(LinesStartingWith(text, std::string("# HELP tolvar_") + family + " ").size(), 1u);
    }
    // Both links' samples follow their family's head, before the next head.
    const std::size_t head = text.find("# TYPE tolvar_port_open");
    const std::size_t next = text.find("# HELP", head);
    const std::string family = text.substr(head, next - head);
    EXPECT_NE(family.find("link=\"second\",side=\"source\"} 0"), std::string::npos) << family;
    EXPECT_NE(family.find("side=\"listener\"} 1"), std::string::npos) << family;
}

TEST(MetricsTextTest, LabelValuesAreEscapedValidUtf8)
{
    const std::string text = MetricsText({TwoSidedLink()});
    EXPECT_NE(text.find("tolvar_received_bytes_total{link=\"ntrip://caster/M\\\"x\\\\y\\n\xEF\xBF\xBD\","
                        "side=\"listener\"} 1234\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("tolvar_test_start_time_seconds{link=\"ntrip://caster/M\\\"x\\\\y\\n\xEF\xBF\xBD\"} "
                        "1796700000.5\n"),
              std::string::npos);
    EXPECT_NE(text.find("tolvar_outage_seconds_total{link=\"ntrip://caster/M\\\"x\\\\y\\n\xEF\xBF\xBD\","
                        "side=\"listener\"} 12.5\n"),
              std::string::npos);
}

TEST(MetricsTextTest, TheLatencyHistogramIsCumulativeAndExactAtItsBounds)
{
    const std::string text = MetricsText({TwoSidedLink()});
    const std::vector<std::string> buckets = LinesStartingWith(text, "tolvar_frame_latency_seconds_bucket{");
    ASSERT_EQ(buckets.size(), 12u) << "eleven bounds and +Inf, on the Listener only";
    const auto count = [](const std::string& line) { return std::stoull(line.substr(line.rfind(' ') + 1)); };
    const auto bound = [](const std::string& line) {
        const std::size_t at = line.find("le=\"") + 4;
        return line.substr(at, line.find('"', at) - at);
    };
    // -0.001 and 0.01 at or below 10 ms; 0.0100001 and 0.1 by 100 ms; 0.7 by
    // 1 s; 30 by 30 s; 31, 45 and 120 only in +Inf.
    const std::vector<std::pair<std::string, std::uint64_t>> expected{
        {"0.01", 2}, {"0.025", 3}, {"0.05", 3}, {"0.1", 4}, {"0.25", 4}, {"0.5", 4},
        {"1", 5},    {"2.5", 5},   {"5", 5},    {"10", 5},  {"30", 6},   {"+Inf", 9}};
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        SCOPED_TRACE(buckets[i]);
        EXPECT_EQ(bound(buckets[i]), expected[i].first);
        EXPECT_EQ(count(buckets[i]), expected[i].second);
    }
    const std::vector<std::string> countLine = LinesStartingWith(text, "tolvar_frame_latency_seconds_count{");
    ASSERT_EQ(countLine.size(), 1u);
    EXPECT_EQ(count(countLine[0]), 9u);
    const std::vector<std::string> sum = LinesStartingWith(text, "tolvar_frame_latency_seconds_sum{");
    ASSERT_EQ(sum.size(), 1u);
    EXPECT_NEAR(std::stod(sum[0].substr(sum[0].rfind(' ') + 1)), 226.8190001, 1e-9);
}

TEST(MetricsTextTest, OnlyTheCorrelatedSideCarriesTheCorrelation)
{
    const std::string text = MetricsText({TwoSidedLink()});
    EXPECT_EQ(LinesStartingWith(text, "tolvar_frames_received_total{").size(), 2u) << "both sides count";
    const std::vector<std::string> missed = LinesStartingWith(text, "tolvar_frames_missed_total{");
    ASSERT_EQ(missed.size(), 1u);
    EXPECT_NE(missed[0].find("side=\"listener\",type=\"CMR Type 0\"} 1"), std::string::npos) << missed[0];
    EXPECT_EQ(text.find("side=\"source\",type=\"CMR Type 0\",le="), std::string::npos);
}

}  // namespace
}  // namespace web
