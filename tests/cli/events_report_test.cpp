// An events file summed per type with its outages, and drawn.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "cli/events_line.h"
#include "cli/events_report.h"
#include "cli/latency_svg.h"
#include "decoders/frame_content.h"
#include "frame_events.h"
#include "stats/packet_stats.h"

namespace {

using namespace TolvarRT;

using cli::testing::FrameEvent;
using cli::testing::kCmr0;
using cli::testing::kRtcm1005;

// Lines of a short test with a type's outage, one of the whole link still
// open at the end, a run of corruption and two damaged lines.
std::string ChosenEvents()
{
    const auto at = std::chrono::system_clock::now();
    std::string text;
    const auto add = [&](const sLinkEvent& event, double seconds) {
        text += cli::EventLine(event, seconds, at) + "\n";
    };
    for (int second = 0; second < 10; ++second) {
        add(FrameEvent(true, kCmr0), second);
        add(FrameEvent(true, kRtcm1005), second + 0.5);
        if (second < 3 || second > 6)
            add(FrameEvent(false, kCmr0, 0.080 + 0.002 * second), second + 0.1);
        add(FrameEvent(false, kRtcm1005, second == 9 ? -1.0 : 0.150), second + 0.6);
    }
    sLinkEvent outage;
    outage.kind = eLinkEventKind::BeginOutage;
    outage.key = kCmr0;
    outage.durationS = 3.0;
    add(outage, 5.1);
    outage.kind = eLinkEventKind::EndOutage;
    outage.durationS = 5.0;
    add(outage, 9.1);
    sLinkEvent linkOut;
    linkOut.kind = eLinkEventKind::BeginOutage;
    linkOut.wholeLink = true;
    linkOut.durationS = 1.0;
    add(linkOut, 8.0);
    sLinkEvent corrupted;
    corrupted.kind = eLinkEventKind::BeginCorrupted;
    corrupted.wholeLink = true;
    add(corrupted, 4.0);
    corrupted.kind = eLinkEventKind::EndCorrupted;
    corrupted.durationS = 1.5;
    add(corrupted, 7.0);
    return text + "{\"event\":\"frame\"\ngarbage\n\n";
}

// The same outages told by both sides: a Source that stopped sending for
// 6 s, and the Listener that heard nothing meanwhile, plus one of its own.
TEST(EventsReportTest, EachSidesOutagesAreKeptApartAsTheRunKeepsThem)
{
    const auto at = std::chrono::system_clock::now();
    std::string text;
    const auto add = [&](bool source, bool wholeLink, eLinkEventKind kind, double durationS, double seconds) {
        sLinkEvent event;
        event.source = source;
        event.kind = kind;
        event.wholeLink = wholeLink;
        event.key = wholeLink ? 0 : kCmr0;
        event.durationS = durationS;
        event.lostBytes = source ? 0 : 40;
        text += cli::EventLine(event, seconds, at) + "\n";
    };
    text += cli::EventLine(FrameEvent(true, kCmr0), 1.0, at) + "\n";
    for (const bool source : {true, false}) {
        add(source, true, eLinkEventKind::BeginOutage, 5.0, 7.0);
        add(source, false, eLinkEventKind::BeginOutage, 5.0, 7.0);
        add(source, true, eLinkEventKind::EndOutage, 6.0, 10.0);
        add(source, false, eLinkEventKind::EndOutage, 6.0, 10.0);
    }
    add(false, true, eLinkEventKind::BeginOutage, 5.0, 20.0);
    add(false, true, eLinkEventKind::EndOutage, 7.0, 24.0);
    add(false, true, eLinkEventKind::BeginCorrupted, 0.0, 12.0);
    add(false, true, eLinkEventKind::EndCorrupted, 1.0, 14.0);

    std::istringstream in(text);
    const cli::sEventsReport report = cli::ReadEventsReport(in);
    EXPECT_TRUE(report.sourceSeen);
    EXPECT_EQ(report.source.linkOutages, 1u);
    EXPECT_NEAR(report.source.outageSeconds, 6.0, 1e-9);
    EXPECT_EQ(report.source.typeOutages, 1u);
    EXPECT_EQ(report.listener.linkOutages, 2u);
    EXPECT_NEAR(report.listener.outageSeconds, 13.0, 1e-9) << "6 s with the Source, 7 s of its own";
    EXPECT_EQ(report.listener.rejectedBytes, 40u);
    EXPECT_EQ(report.source.corruptedSpells, 0u);
    ASSERT_EQ(report.types.size(), 1u);
    EXPECT_EQ(report.types[0].outages, 1u) << "the type's line counts what the Listener missed of it";

    const std::string summary = cli::EventsReportText(report);
    EXPECT_NE(summary.find("  Listener: 1 outages of frame types, 2 of the whole link (13.0 s); corrupted 1 times "
                           "(1.0 s), 40 bytes rejected\n"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("  Source: 1 outages of frame types, 1 of the whole link (6.0 s);"), std::string::npos)
        << summary;
    EXPECT_EQ(summary.find("Whole link"), std::string::npos) << summary;
    const nlohmann::json json = cli::EventsReportJson(report);
    EXPECT_EQ(json["health"]["listener"]["linkOutages"], 2);
    EXPECT_EQ(json["health"]["source"]["linkOutages"], 1);

    // A run without a Source has no Source line.
    std::istringstream alone(cli::EventLine(FrameEvent(false, kCmr0), 1.0, at) + "\n");
    const cli::sEventsReport listenerOnly = cli::ReadEventsReport(alone);
    EXPECT_EQ(cli::EventsReportText(listenerOnly).find("Source:"), std::string::npos);
    EXPECT_FALSE(cli::EventsReportJson(listenerOnly)["health"].contains("source"));
}

TEST(EventsReportTest, TheFileIsSummedPerTypeWithItsOutagesAndDamagedLinesCounted)
{
    std::istringstream in(ChosenEvents());
    const cli::sEventsReport report = cli::ReadEventsReport(in);
    EXPECT_EQ(report.malformed, 2u);
    ASSERT_EQ(report.types.size(), 2u);
    const cli::sTypeEvents& cmr = report.types[0];
    EXPECT_EQ(cmr.name, "CMR Type 0");
    EXPECT_EQ(cmr.sent, 10u);
    EXPECT_EQ(cmr.received, 6u);
    EXPECT_EQ(cmr.matched, 6u);
    EXPECT_EQ(cmr.Missed(), 4u);
    EXPECT_EQ(cmr.outages, 1u);
    EXPECT_NEAR(cmr.outageSeconds, 5.0, 1e-9);
    const sLatencyDistribution latency = cmr.latency.Distribution();
    EXPECT_NEAR(latency.minS, 0.080, 1e-9);
    EXPECT_NEAR(latency.maxS, 0.098, 1e-9);
    const cli::sTypeEvents& rtcm = report.types[1];
    EXPECT_EQ(rtcm.matched, 9u);
    EXPECT_EQ(rtcm.Unmatched(), 1u);
    EXPECT_EQ(report.total.matched, 15u);
    EXPECT_EQ(report.listener.linkOutages, 1u);
    EXPECT_EQ(report.listener.corruptedSpells, 1u);
    EXPECT_NEAR(report.listener.corruptedSeconds, 1.5, 1e-9);

    ASSERT_EQ(report.bands.size(), 3u);
    EXPECT_NEAR(report.bands[0].begin, 2.1, 1e-9) << "the frames had been missing for 3 s when judged";
    EXPECT_NEAR(report.bands[0].end, 7.1, 1e-9) << "and came back 5 s after the last one";
    EXPECT_TRUE(report.bands[1].open);
    EXPECT_NEAR(report.bands[1].begin, 7.0, 1e-9);
    EXPECT_NEAR(report.bands[1].end, report.lastSeconds, 1e-9) << "still out when the file ends";
    EXPECT_NEAR(report.bands[2].begin, 4.0, 1e-9) << "the corruption began when it was told";
    EXPECT_NEAR(report.bands[2].end, 5.5, 1e-9);

    const std::string text = cli::EventsReportText(report);
    EXPECT_NE(
        text.find(
            "  CMR Type 0: 10 sent, 6 received, 6 matched, 4 missed, 0 unmatched, latency mean 89.0 ms (min 80.0, max "
            "98.0; median "),
        std::string::npos)
        << text;
    EXPECT_NE(text.find(", 1 outage (5.0 s)\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "Skipped 2 malformed lines\n") << "said once, last";
    const nlohmann::json json = cli::EventsReportJson(report);
    EXPECT_EQ(json["measuredTotal"]["matched"], 15);
    EXPECT_EQ(json["malformedLines"], 2);
    EXPECT_EQ(json["bands"].size(), 3u);
}

// Every element opened is closed, in order; false with the first fault.
bool TagsBalance(const std::string& xml, std::string& fault)
{
    std::vector<std::string> open;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) {
            fault = "a tag never ends";
            return false;
        }
        const std::string tag = xml.substr(at + 1, end - at - 1);
        if (tag.empty() || tag[0] == '?' || tag[0] == '!' || tag.back() == '/')
            continue;  // a declaration, a comment or an empty element
        const bool closing = tag[0] == '/';
        const std::string name =
            tag.substr(closing ? 1 : 0, tag.find_first_of(" \t\n", closing ? 1 : 0) - (closing ? 1 : 0));
        if (!closing) {
            open.push_back(name);
        } else if (open.empty() || open.back() != name) {
            fault = "</" + name + "> closes " + (open.empty() ? std::string("nothing") : "<" + open.back() + ">");
            return false;
        } else {
            open.pop_back();
        }
    }
    fault = open.empty() ? "" : "<" + open.back() + "> never closed";
    return open.empty();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(EventsReportTest, AgesLostEpochsAndStationChangesAreReportedPerSide)
{
    const auto at = std::chrono::system_clock::now();
    std::string text;
    const auto add = [&](const sLinkEvent& event, double seconds) {
        text += cli::EventLine(event, seconds, at) + "\n";
    };
    // The Listener's 1005 frames: four with ages, one without.
    for (const double age : {0.5, 0.7, 0.9, 1.1}) {
        sLinkEvent frame = FrameEvent(false, kRtcm1005);
        frame.hasAge = true;
        frame.ageS = age;
        add(frame, age);
    }
    add(FrameEvent(false, kRtcm1005), 2.0);
    sLinkEvent sourceFrame = FrameEvent(true, kCmr0);
    sourceFrame.hasAge = true;
    sourceFrame.ageS = 0.25;
    add(sourceFrame, 2.5);
    sLinkEvent lost;
    lost.kind = eLinkEventKind::EpochsLost;
    lost.stationId = 7;
    lost.gnss = std::uint8_t(Gnss::GPS);
    lost.epochs = 2;
    add(lost, 3.0);
    lost.epochs = 3;
    add(lost, 9.0);
    sLinkEvent changed;
    changed.kind = eLinkEventKind::StationChanged;
    changed.stationId = 7;
    changed.what = "position";
    add(changed, 4.0);

    std::istringstream in(text);
    const cli::sEventsReport report = cli::ReadEventsReport(in);
    EXPECT_EQ(report.malformed, 0u);
    ASSERT_EQ(report.listenerContent.ages.size(), 1u);
    EXPECT_EQ(report.listenerContent.ages[0].ages.Count(), 4u) << "the frame without an age is not one";
    EXPECT_DOUBLE_EQ(report.listenerContent.ages[0].MeanS(), 0.8);
    ASSERT_EQ(report.listenerContent.epochs.size(), 1u);
    EXPECT_EQ(report.listenerContent.epochs[0].lost, 5u) << "summed over the run";
    ASSERT_EQ(report.sourceContent.ages.size(), 1u);
    EXPECT_TRUE(report.sourceContent.epochs.empty());
    EXPECT_EQ(report.types.size(), 2u) << "the content's events are no frame type";

    const std::string shown = cli::EventsReportText(report);
    EXPECT_NE(shown.find("Age of corrections, Listener:\n  RTCM v3 Type 1005: mean 800.0 ms (min 500.0, max 1100.0;"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Epochs lost, Listener:\n  station 7 GPS: 5\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Age of corrections, Source:\n  CMR Type 0: mean 250.0 ms"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Station changes:\n  Listener at 4.0 s: station 7, position\n"), std::string::npos) << shown;

    const nlohmann::json json = cli::EventsReportJson(report);
    EXPECT_EQ(json["content"]["listener"]["age"][0]["count"], 4);
    EXPECT_NEAR(json["content"]["listener"]["age"][0]["mean_ms"].get<double>(), 800.0, 1e-9);
    EXPECT_EQ(json["content"]["listener"]["epochs_lost"][0]["lost"], 5);
    EXPECT_EQ(json["station_changes"][0]["what"], "position");

    std::istringstream plain(cli::EventLine(FrameEvent(false, kCmr0), 1.0, at) + "\n");
    const cli::sEventsReport withoutContent = cli::ReadEventsReport(plain);
    EXPECT_TRUE(cli::EventsReportJson(withoutContent)["content"].empty()) << "no side without content";
    EXPECT_EQ(cli::EventsReportText(withoutContent).find("Age of"), std::string::npos);
}

TEST(EventsReportTest, ThePictureIsWellFormedWithABandPerOutageAndAPointPerMatchedFrame)
{
    std::istringstream in(ChosenEvents());
    const std::string svg = cli::LatencySvg(cli::ReadEventsReport(in), "Field test <north> & \"south\"");
    std::string fault;
    EXPECT_TRUE(TagsBalance(svg, fault)) << fault;
    EXPECT_EQ(svg.find("<svg"), svg.find("?>\n") + 3);
    EXPECT_NE(svg.find("width=\"1200\" height=\"500\""), std::string::npos);
    EXPECT_EQ(Count(svg, "<rect class=\"outage\""), 2u);
    EXPECT_EQ(Count(svg, "<rect class=\"corrupted\""), 1u);
    EXPECT_EQ(Count(svg, "r=\"2.5\"/>"), 15u) << "one per matched frame, none on the same pixel";
    EXPECT_NE(svg.find("Field test &lt;north&gt; &amp; &quot;south&quot;"), std::string::npos);
    // A burst of frames on one pixel draws one point.
    std::string burst;
    for (int frame = 0; frame < 1000; ++frame)
        burst +=
            cli::EventLine(FrameEvent(false, kCmr0, 0.1), 5.0 + frame * 1e-6, std::chrono::system_clock::now()) + "\n";
    std::istringstream burstIn(burst);
    EXPECT_EQ(Count(cli::LatencySvg(cli::ReadEventsReport(burstIn), "burst"), "r=\"2.5\"/>"), 1u);

    for (const std::string label : {"Latency (ms)", "Time since the test began (s)", ">CMR Type 0<",
                                    ">RTCM v3 Type 1005<", "Outage of the whole link", "Corrupted bytes"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;
}

}  // namespace
