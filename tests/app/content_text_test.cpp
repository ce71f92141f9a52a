// The stream content section as the run, the demo and the status page print
// it: every part a side has and nothing of a side that saw none.
#include <gtest/gtest.h>

#include <functional>

#include "app/content_text.h"
#include "app/status_page.h"
#include "content_figures.h"

namespace {

using namespace TolvarRT;
using TolvarRT::testing::BaseStationContent;

struct sContentCase {
    const char* what;
    std::function<void(sContentSnapshot&)> change;
    std::vector<std::string> shown;    // lines (or parts of them) the text holds
    std::vector<std::string> missing;  // and parts it must not
};

class ContentTextTest : public ::testing::TestWithParam<sContentCase> {};

TEST_P(ContentTextTest, ShowsWhatTheSideHas)
{
    sContentSnapshot content = BaseStationContent();
    GetParam().change(content);
    const std::string text = ContentSectionText(content, nullptr);
    for (const std::string& part : GetParam().shown)
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    for (const std::string& part : GetParam().missing)
        EXPECT_EQ(text.find(part), std::string::npos) << part << "\n" << text;
}

const sContentCase kCases[] = {
    {"a whole base station",
     [](sContentSnapshot&) {},
     {"Stream content:\n  Listener:\n    host clock synchronised, estimated error 2 ms\n",
      "    station 2003 (12 frames): latitude 51.12345679, longitude 15.76543210, height 212.345 m (ECEF "
      "3855263.2131, 1089013.1302, 4943963.3406 m), antenna height 1.5000 m, baseline 1234.568 m\n",
      "      antenna TRM59800.00     NONE (setup 3, serial 5000112233); receiver BASE \"RX\" 5, firmware 5.45, "
      "serial R-77\n",
      "    age of corrections:\n      RTCM v3 Type 1077: mean 800.0 ms (min 500.0, max 1100.0; median ", ", 4 frames\n",
      "      RTCM v3 Type 1087: mean 600.0 ms (min 600.0, max 600.0; median 600.0, 95% 600.0, RMS 600.0), 1 frames; "
      "2 clock faults\n",
      "    epochs:\n      station 2003 GPS: every 1.0 s, 60 seen, 57 complete, 1 incomplete, 2 lost\n",
      "      station 2003 GLONASS: interval unknown, 60 seen, 57 complete, 1 incomplete, 0 lost\n",
      "    satellites per epoch:\n      GPS: mean 9.5 (min 8, max 11) over 60 epochs; signals 2.0, cells 18.2\n"},
     {"stations mixed", "leap seconds", "no ages", "Source:"}},
    {"an unknown clock",
     [](sContentSnapshot& c) { c.clock.host = {}; },
     {"    host clock state unknown: the system could not say whether it is synchronised\n"},
     {"host clock synchronised"}},
    {"an unsynchronised clock with no ages",
     [](sContentSnapshot& c) {
         c.clock.host.synchronised = false;
         c.ages.clear();
         c.clock.noAgesReason = "ages below -1 s: a clock is wrong";
     },
     {"    host clock not synchronised: ages may be off by seconds\n",
      "    no ages: ages below -1 s: a clock is wrong\n"},
     {"age of corrections"}},
    {"a leap-second problem",
     [](sContentSnapshot& c) {
         c.clock.leapSecondsProblem = "no leap-seconds.list at /usr/share/zoneinfo/leap-seconds.list";
     },
     {"    leap seconds: no leap-seconds.list at /usr/share/zoneinfo/leap-seconds.list (GPS - UTC taken as 18 s)\n"},
     {}},
    {"mixed stations without records",
     [](sContentSnapshot& c) {
         sStationFigures second;
         second.stationId = 7;
         second.frames = 3;
         c.stations.push_back(second);
         c.mixedStations = true;
     },
     {"    station 7 (3 frames): no reference point yet\n    stations mixed: observation frames of more than one "
      "station\n"},
     {"station 7 (3 frames): no reference point yet, baseline"}},
    {"CMR satellites without MSM cells",
     [](sContentSnapshot& c) { c.satellites[0].cellsMean = 0.0; },
     {"      GPS: mean 9.5 (min 8, max 11) over 60 epochs\n"},
     {"cells"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ContentTextTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(ContentSectionTest, ASideWithNoContentIsLeftOutAndNoneLeavesNoSection)
{
    const sContentSnapshot none;
    EXPECT_EQ(ContentSectionText(none, &none), "");
    const sContentSnapshot base = BaseStationContent();
    const std::string sourceOnly = ContentSectionText(none, &base);
    EXPECT_EQ(sourceOnly.rfind("Stream content:\n  Source:\n", 0), 0u) << sourceOnly;
    EXPECT_EQ(sourceOnly.find("Listener:"), std::string::npos);
    const std::string both = ContentSectionText(base, &base);
    EXPECT_LT(both.find("  Listener:\n"), both.find("  Source:\n"));
}

TEST(ContentSectionTest, TheStatusPageShowsTheSectionEscaped)
{
    const std::string content = ContentSectionText(BaseStationContent(), nullptr);
    sStatusPageInput input;
    input.content = content;
    const std::string page = StatusPageText(input);
    EXPECT_NE(page.find("<H3>Stream content</H3><PRE>Stream content:\n"), std::string::npos) << page;
    EXPECT_NE(page.find("receiver BASE &quot;RX&quot; 5"), std::string::npos);
    sStatusPageInput without;
    EXPECT_EQ(StatusPageText(without).find("Stream content"), std::string::npos);
}

}  // namespace
