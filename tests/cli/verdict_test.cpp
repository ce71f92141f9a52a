// Requirements judged on chosen figures: what passes, what fails, what
// cannot be judged, and how the verdict reads to a script.
#include <gtest/gtest.h>

#include "cli/verdict.h"
#include "content_figures.h"

namespace {

using cli::sRequirement;
using TolvarRT::sLinkFigures;

sLinkFigures Type(const std::string& name, std::uint64_t sent, std::uint64_t matched, double maxS)
{
    sLinkFigures figures;
    figures.name = name;
    figures.sent = sent;
    figures.received = matched;
    figures.matched = matched;
    figures.latencySumS = maxS * double(matched);
    figures.latencyMinS = maxS;
    figures.latencyMaxS = maxS;
    return figures;
}

sRequirement Received(const std::string& text)
{
    sRequirement requirement;
    std::string error;
    EXPECT_TRUE(cli::ParseReceivedRequirement(text, requirement, error)) << text << ": " << error;
    return requirement;
}

TEST(VerdictTest, RequirementsParseAsTypeAndPercentOrSayWhyNot)
{
    const sRequirement cmr = Received("CMR Type 0:99");
    EXPECT_EQ(cmr.type, "CMR Type 0");
    EXPECT_DOUBLE_EQ(cmr.limit, 99.0);
    EXPECT_DOUBLE_EQ(Received(" rtcm v3 type 1005 : 97.5 % ").limit, 97.5);
    EXPECT_EQ(Received("All types:0").type, "All types");

    for (const std::string bad : {"CMR Type 0", "CMR Type 0:", ":99", "CMR Type 0:abc", "CMR Type 0:101",
                                  "CMR Type 0:-1", "CMR Type 0:99%%", "CMR Type 0:nan"}) {
        sRequirement requirement;
        std::string error;
        EXPECT_FALSE(cli::ParseReceivedRequirement(bad, requirement, error)) << bad;
        EXPECT_NE(error.find("--require " + bad), std::string::npos) << error;
    }
}

TEST(VerdictTest, EachRequirementIsJudgedOnTheWholeRunsFigures)
{
    const std::vector<sLinkFigures> measured = {Type("CMR Type 0", 1000, 972, 0.120),
                                                Type("CMR Type 1", 10, 10, 0.300)};
    const std::vector<sRequirement> lax = {Received("cmr type 0:97"), Received("CMR TYPE 1:100"),
                                           Received("All types:96"), cli::MaxLatencyRequirement(300)};
    const cli::sVerdict passed = cli::Judge(lax, measured, true);
    EXPECT_TRUE(passed.passed);
    ASSERT_EQ(passed.judgements.size(), 4u);
    EXPECT_NEAR(*passed.judgements[0].measured, 97.2, 1e-9);
    EXPECT_NEAR(*passed.judgements[2].measured, 100.0 * 982 / 1010, 1e-9) << "the total over every type";
    EXPECT_NEAR(*passed.judgements[3].measured, 300.0, 1e-9) << "the slowest frame of any type";
    EXPECT_EQ(cli::VerdictLine(passed), "Verdict: PASS (4 requirements)\n");

    const std::vector<sRequirement> strict = {Received("CMR Type 0:99"), Received("CMR Type 1:50"),
                                              cli::MaxLatencyRequirement(250)};
    const cli::sVerdict failed = cli::Judge(strict, measured, true);
    EXPECT_FALSE(failed.passed);
    EXPECT_EQ(cli::VerdictLine(failed),
              "Verdict: FAIL: CMR Type 0 received 97.2 % < 99 %; latency max 300.0 ms > 250 ms\n");
    const nlohmann::json json = cli::VerdictJson(failed);
    EXPECT_EQ(json["passed"], false);
    ASSERT_EQ(json["requirements"].size(), 3u);
    EXPECT_EQ(json["requirements"][0]["requirement"], "CMR Type 0:99");
    EXPECT_EQ(json["requirements"][0]["passed"], false);
    EXPECT_NEAR(json["requirements"][0]["measured"].get<double>(), 97.2, 1e-9);
    EXPECT_EQ(json["requirements"][1]["passed"], true);
    EXPECT_EQ(json["requirements"][2]["kind"], "maxLatency");
}

TEST(VerdictTest, WhatCannotBeJudgedFailsAndSaysWhy)
{
    // Received but never sent: the receiver's record alone.
    std::vector<sLinkFigures> measured = {Type("CMR Type 0", 0, 0, 0.0)};
    measured[0].received = 5;
    const cli::sVerdict neverSent = cli::Judge(
        {Received("CMR Type 0:1"), Received("RTCM v3 Type 1005:1"), cli::MaxLatencyRequirement(1000)}, measured, true);
    EXPECT_FALSE(neverSent.passed);
    EXPECT_EQ(cli::VerdictLine(neverSent),
              "Verdict: FAIL: CMR Type 0 never sent; RTCM v3 Type 1005 never sent; no frame matched: no latency\n");
    EXPECT_TRUE(cli::VerdictJson(neverSent)["requirements"][0]["measured"].is_null());

    const cli::sVerdict noSource = cli::Judge({Received("CMR Type 0:0")}, {Type("CMR Type 0", 10, 10, 0.1)}, false);
    EXPECT_FALSE(noSource.passed);
    EXPECT_EQ(cli::VerdictLine(noSource), "Verdict: FAIL: CMR Type 0:0: no Source, nothing was matched\n");
}

struct sAgeCase {
    const char* what;
    double limitS;
    bool withContent;
    std::vector<double> ages;
    const char* noAgesReason;
    bool passed;
    std::optional<double> measured;
    const char* line;
};

// The oldest corrections of any type, judged with or without a Source.
class MaxAgeTest : public ::testing::TestWithParam<sAgeCase> {};

TEST_P(MaxAgeTest, TheOldestCorrectionsOfAnyTypeAreJudged)
{
    const sAgeCase& c = GetParam();
    TolvarRT::sContentSnapshot content;
    if (!c.ages.empty()) {
        content.ages.push_back(TolvarRT::testing::AgesOf(1, "CMR Type 0", {c.ages.front()}));
        for (std::size_t i = 1; i < c.ages.size(); ++i)
            content.ages.push_back(TolvarRT::testing::AgesOf(2, "CMR Type 5", {c.ages[i]}));
    }
    content.clock.noAgesReason = c.noAgesReason;
    // No Source: an age needs none.
    const cli::sVerdict verdict =
        cli::Judge({cli::MaxAgeRequirement(c.limitS)}, {}, false, c.withContent ? &content : nullptr);
    ASSERT_EQ(verdict.judgements.size(), 1u);
    EXPECT_EQ(verdict.passed, c.passed);
    EXPECT_EQ(verdict.judgements[0].measured.has_value(), c.measured.has_value());
    if (c.measured && verdict.judgements[0].measured) {
        EXPECT_NEAR(*verdict.judgements[0].measured, *c.measured, 1e-9);
    }
    EXPECT_EQ(cli::VerdictLine(verdict), c.line);
    const nlohmann::json json = cli::VerdictJson(verdict)["requirements"][0];
    EXPECT_EQ(json["kind"], "maxAge");
    EXPECT_EQ(json["unit"], "s");
    EXPECT_EQ(json["requirement"], cli::MaxAgeRequirement(c.limitS).text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaxAgeTest,
    ::testing::Values(
        sAgeCase{"within", 2.0, true, {0.8, 1.9}, "", true, 1.9, "Verdict: PASS (1 requirement)\n"},
        sAgeCase{"on the limit", 1.5, true, {1.5}, "", true, 1.5, "Verdict: PASS (1 requirement)\n"},
        sAgeCase{"one type too old", 1.0, true, {0.4, 2.25}, "", false, 2.25, "Verdict: FAIL: age max 2.250 s > 1 s\n"},
        sAgeCase{"no epochs",
                 5.0,
                 true,
                 {},
                 "",
                 false,
                 std::nullopt,
                 "Verdict: FAIL: no age of corrections: no frame carried an epoch\n"},
        sAgeCase{"a wrong clock",
                 5.0,
                 true,
                 {},
                 "ages below -1 s: a clock is wrong",
                 false,
                 std::nullopt,
                 "Verdict: FAIL: no age of corrections: ages below -1 s: a clock is wrong\n"},
        sAgeCase{"no content given",
                 5.0,
                 false,
                 {1.0},
                 "",
                 false,
                 std::nullopt,
                 "Verdict: FAIL: no age of corrections: no frame carried an epoch\n"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace

#include "cli/in_flight_wait.h"

namespace {

using namespace std::chrono_literals;

TEST(InFlightBoundTest, TwiceTheSlowestLatencyAndASecondWithinTheDrainAndTheHorizon)
{
    EXPECT_EQ(cli::InFlightBound(0.1, 2000ms, 30000ms), 2000ms) << "never less than the drain";
    EXPECT_EQ(cli::InFlightBound(1.5, 2000ms, 30000ms), 4000ms);
    EXPECT_EQ(cli::InFlightBound(20.0, 2000ms, 30000ms), 30000ms) << "never past the horizon";
}

TEST(InFlightBoundTest, FramesHeardAfterTheEndCountOnlyWhenTheyMatchedOneInFlight)
{
    TolvarRT::sLinkFigures atEnd;
    atEnd.key = 7;
    atEnd.sent = 10;
    atEnd.received = 9;
    atEnd.matched = 8;
    atEnd.unmatched = 1;
    atEnd.inFlight = 2;
    TolvarRT::sLinkFigures after = atEnd;
    after.received = 14;  // one in flight arrived, four sent after the end
    after.matched = 9;
    after.unmatched = 5;
    after.inFlight = 0;
    TolvarRT::sLinkFigures later;
    later.key = 9;
    later.received = 3;
    const std::vector<TolvarRT::sLinkFigures> settled = cli::SettleInFlight({atEnd}, {after, later});
    ASSERT_EQ(settled.size(), 1u) << "a type first heard after the end is not the run's";
    EXPECT_EQ(settled[0].received, 10u);
    EXPECT_EQ(settled[0].matched, 9u);
    EXPECT_EQ(settled[0].unmatched, 1u);
    EXPECT_EQ(settled[0].missed, 1u);
    EXPECT_EQ(settled[0].inFlight, 0u);
}

}  // namespace
