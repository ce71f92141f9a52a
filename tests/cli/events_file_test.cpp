// The events file: written whole from several threads, a failed write told,
// and every line read back as written.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/events_file.h"
#include "cli/events_line.h"
#include "decoders/frame_content.h"
#include "frame_events.h"
#include "stats/packet_stats.h"
#include "temp_folder.h"

namespace {

using namespace TolvarRT;
using cli::sEventRecord;

using cli::testing::FrameEvent;
using cli::testing::kCmr0;
using cli::testing::kRtcm1005;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(EventsFileTest, BothSidesThreadsWriteEveryLineWholeAndAFailedWriteIsTold)
{
    TolvarRT::testing::TempFolder folder;
    const std::string path = folder.File("events.jsonl");
    cli::CEventsFile events;
    std::string error;
    ASSERT_TRUE(events.Open(path, error)) << error;
    constexpr int kEach = 5000;  // several times the write size, so lines are written while others come
    const auto side = [&](bool source) {
        for (int frame = 0; frame < kEach; ++frame)
            events.OnLinkEvent(FrameEvent(source, kCmr0, source ? -1.0 : 0.001 * (frame % 100)));
    };
    std::thread listener(side, false);
    std::thread source(side, true);
    listener.join();
    source.join();
    EXPECT_EQ(events.Close(), "");
    EXPECT_EQ(events.Lines(), 2u * kEach);

    const std::vector<std::string> lines = Lines(TolvarRT::testing::TempFolder::Contents(path));
    ASSERT_EQ(lines.size(), 2u * kEach);
    int sources = 0;
    for (const std::string& line : lines) {
        sEventRecord record;
        ASSERT_TRUE(cli::ParseEventLine(line, record)) << line;
        sources += record.event.source ? 1 : 0;
        EXPECT_GE(record.seconds, 0.0);
    }
    EXPECT_EQ(sources, kEach);

    cli::CEventsFile missingFolder;
    EXPECT_FALSE(missingFolder.Open(folder.File("no/such/folder"), error));
    EXPECT_NE(error.find("no/such/folder: "), std::string::npos) << error;

    // A full disc: the lines cannot be written, and the close says so.
    cli::CEventsFile full;
    ASSERT_TRUE(full.Open("/dev/full", error)) << error;
    full.OnLinkEvent(FrameEvent(false, kCmr0, 0.1));
    EXPECT_NE(full.Close().find("/dev/full: "), std::string::npos);
    EXPECT_EQ(full.Failure(), "/dev/full: No space left on device") << "kept for the end's text";
    EXPECT_EQ(full.Lines(), 1u);
    EXPECT_EQ(full.LinesWritten(), 0u) << "none of them reached the file";
}

TEST(EventsFileTest, EveryKindOfEventReadsBackAsItWasWritten)
{
    const auto utc =
        std::chrono::system_clock::time_point(std::chrono::seconds(1796670000)) + std::chrono::microseconds(250000);
    sLinkEvent frame = FrameEvent(false, kRtcm1005, 0.0875);
    const std::string line = cli::EventLine(frame, 12.5, utc);
    const nlohmann::json json = nlohmann::json::parse(line);
    EXPECT_EQ(json["name"], "RTCM v3 Type 1005");
    EXPECT_EQ(json["side"], "listener");
    EXPECT_EQ(json["utc"], "2026-12-07T19:00:00.250000Z");
    EXPECT_DOUBLE_EQ(json["latencyMs"].get<double>(), 87.5);

    sEventRecord record;
    ASSERT_TRUE(cli::ParseEventLine(line, record));
    EXPECT_EQ(record.event.key, kRtcm1005);
    EXPECT_TRUE(record.event.matched);
    EXPECT_DOUBLE_EQ(record.event.latencyS, 0.0875);
    EXPECT_DOUBLE_EQ(record.seconds, 12.5);

    sLinkEvent corrupted;
    corrupted.kind = eLinkEventKind::EndCorrupted;
    corrupted.wholeLink = true;
    corrupted.durationS = 3.5;
    corrupted.lostBytes = 77;
    ASSERT_TRUE(cli::ParseEventLine(cli::EventLine(corrupted, 20.0, utc), record));
    EXPECT_EQ(record.event.kind, eLinkEventKind::EndCorrupted);
    EXPECT_TRUE(record.event.wholeLink);
    EXPECT_DOUBLE_EQ(record.event.durationS, 3.5);
    EXPECT_EQ(record.event.lostBytes, 77u);

    for (const std::string bad : {"", "not json", "[1]", R"({"event":"frame","side":"listener","t":1})",
                                  R"({"event":"smoke","side":"listener","t":1,"link":true})",
                                  R"({"event":"frame","side":"left","t":1,"class":1,"type":0,"matched":false})",
                                  R"({"event":"frame","side":"source","t":"soon","class":1,"type":0,"matched":false})"})
        EXPECT_FALSE(cli::ParseEventLine(bad, record)) << bad;
}

TEST(EventsFileTest, TheContentsEventsAndAFramesAgeReadBackAsTheyWereWritten)
{
    const auto utc = std::chrono::system_clock::time_point(std::chrono::seconds(1796670000));
    sLinkEvent aged = FrameEvent(false, kRtcm1005);
    aged.hasAge = true;
    aged.ageS = 0.8125;
    sLinkEvent changed;
    changed.kind = eLinkEventKind::StationChanged;
    changed.source = true;
    changed.stationId = 4095;
    changed.what = "antenna";
    sLinkEvent lost;
    lost.kind = eLinkEventKind::EpochsLost;
    lost.stationId = 12;
    lost.gnss = std::uint8_t(Gnss::BeiDou);
    lost.epochs = 3;
    const struct {
        sLinkEvent event;
        const char* line;  // the JSON after "t" and "utc"
    } cases[] = {
        {aged, R"("length":30,"matched":false,"latencyMs":null,"ageMs":812.5})"},
        {FrameEvent(false, kRtcm1005), R"("length":30,"matched":false,"latencyMs":null})"},
        {changed, R"("station":4095,"what":"antenna"})"},
        {lost, R"("station":12,"gnss":"BeiDou","epochs":3})"},
    };
    for (const auto& c : cases) {
        const std::string line = cli::EventLine(c.event, 3.0, utc);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.substr(line.find("Z\",") + 3), c.line);
        if (c.event.kind != eLinkEventKind::Frame) {
            EXPECT_EQ(line.find("\"class\""), std::string::npos) << "the content's events name no frame type";
        }
        sEventRecord record;
        ASSERT_TRUE(cli::ParseEventLine(line, record));
        EXPECT_EQ(record.event.kind, c.event.kind);
        EXPECT_EQ(record.event.source, c.event.source);
        EXPECT_EQ(record.event.hasAge, c.event.hasAge);
        EXPECT_DOUBLE_EQ(record.event.ageS, c.event.ageS);
        EXPECT_EQ(record.event.stationId, c.event.stationId);
        EXPECT_EQ(record.event.gnss, c.event.gnss);
        EXPECT_EQ(record.event.epochs, c.event.epochs);
        EXPECT_STREQ(record.event.what, c.event.what);
    }
    sEventRecord record;
    for (const std::string bad :
         {R"({"event":"stationChanged","side":"listener","t":1,"station":1,"what":"mood"})",
          R"({"event":"epochsLost","side":"listener","t":1,"station":1,"gnss":"Moon","epochs":1})",
          R"({"event":"epochsLost","side":"listener","t":1,"gnss":"GPS","epochs":1})"})
        EXPECT_FALSE(cli::ParseEventLine(bad, record)) << bad;
}

}  // namespace
