// The demonstration on the emulated radio link: what the tool measured
// against what the link did, and the status page served while it runs.
#include <gtest/gtest.h>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/demo_command.h"
#include "cli/events_line.h"
#include "cli/events_report.h"
#include "cli/latency_svg.h"
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

    // A decoder may still hold a bad packet's bytes as the start of a frame
    // of its own when the test ends (link_health_document_test judges
    // corruption with whole streams); the Source's line is clean.
    const cli::sSideHealth& listener = result.figures.listenerHealth;
    EXPECT_EQ(result.figures.sourceHealth.counts.rejectedBytes, 0u);
    EXPECT_EQ(cli::DemoJson(result)["health"]["listener"]["rejectedBytes"], listener.counts.rejectedBytes);
}

// The RTCM v3 traffic crosses the emulated link frame by frame: with no loss,
// every type the Source sent reaches the Listener's RTCM v3 decoder and is
// matched.
TEST(DemoTest, RtcmTrafficArrivesWholeTypeByType)
{
    cli::sDemoOptions options;
    options.loop.seconds = 3;
    options.traffic = cli::sDemoOptions::Traffic::Rtcm3;
    options.channel.lossPercent = 0;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;

    std::map<std::string, const TolvarRT::sLinkFigures*> byName;
    for (const TolvarRT::sLinkFigures& type : result.figures.measured)
        byName[type.name] = &type;
    for (const char* name : {"RTCM v3 Type 1005", "RTCM v3 Type 1033", "RTCM v3 Type 1074", "RTCM v3 Type 1084",
                             "RTCM v3 Type 1094", "RTCM v3 Type 1124"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(byName.count(name), 1u);
        const TolvarRT::sLinkFigures& type = *byName[name];
        EXPECT_GT(type.sent, 0u);
        EXPECT_EQ(type.received, type.sent);
        EXPECT_EQ(type.matched, type.sent);
        EXPECT_EQ(type.unmatched, 0u);
    }
    EXPECT_EQ(byName.size(), 6u) << "nothing but the generated types";
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_EQ(total.sent, result.account.sent) << "one radio packet per frame";
    EXPECT_EQ(total.matched, result.account.delivered);
}

// With nothing but the Listener's frames the tool tells how old the
// corrections are and which epochs never came: the ages are the emulated
// link's delay, and every MSM the link dropped between the first and the last
// epoch received is one lost epoch of its GNSS. The Source's frames, from the
// events file, serve only as the account to check against.
TEST(DemoTest, TheListenerAloneTellsAgesAndLostEpochs)
{
    TolvarRT::testing::TempFolder folder;
    cli::sDemoOptions options;
    options.loop.seconds = 15;
    options.traffic = cli::sDemoOptions::Traffic::Rtcm3;
    options.channel.latencyMs = 450;
    options.channel.jitterMs = 0;
    options.channel.lossPercent = 10;
    options.channel.seed = 3;
    options.loop.eventsFile = folder.File("events.jsonl");
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;

    const TolvarRT::sContentSnapshot& listener = result.figures.listenerContent;
    ASSERT_FALSE(listener.ages.empty());
    for (const TolvarRT::sAgeFigures& type : listener.ages) {
        SCOPED_TRACE(type.name);
        EXPECT_EQ(type.clockFaults, 0u);
        ASSERT_GT(type.ages.Count(), 0u);
        EXPECT_NEAR(type.MeanS(), 0.450, 0.005);
        EXPECT_NEAR(type.ages.Distribution().medianS, 0.450, 0.005);
    }

    // When each side counted each MSM type's frames; the link keeps them 450 ms.
    std::map<std::uint32_t, std::vector<double>> sentAt;
    std::map<std::uint32_t, std::vector<double>> receivedAt;
    std::uint64_t lostInEvents = 0;
    std::istringstream lines(TolvarRT::testing::TempFolder::Contents(options.loop.eventsFile));
    for (std::string line; std::getline(lines, line);) {
        cli::sEventRecord record;
        ASSERT_TRUE(cli::ParseEventLine(line, record)) << line;
        if (record.event.kind == TolvarRT::eLinkEventKind::EpochsLost && !record.event.source)
            lostInEvents += record.event.epochs;
        if (record.event.kind == TolvarRT::eLinkEventKind::Frame)
            (record.event.source ? sentAt : receivedAt)[record.event.key].push_back(record.seconds);
    }
    const std::map<TolvarRT::Gnss, unsigned> msmOf = {{TolvarRT::Gnss::GPS, 1074},
                                                      {TolvarRT::Gnss::GLONASS, 1084},
                                                      {TolvarRT::Gnss::Galileo, 1094},
                                                      {TolvarRT::Gnss::BeiDou, 1124}};
    std::uint64_t lostInAll = 0;
    ASSERT_EQ(listener.epochs.size(), 4u);
    for (const TolvarRT::sEpochFigures& epochs : listener.epochs) {
        SCOPED_TRACE(TolvarRT::GnssName(epochs.gnss));
        const std::uint32_t key = TolvarRT::FrameKey(TolvarRT::kFrameClassRTCM3, msmOf.at(epochs.gnss));
        const std::vector<double>& received = receivedAt[key];
        ASSERT_GE(received.size(), 2u);
        // Sent between the first and the last that came, one a second.
        const auto sentBetween = std::count_if(sentAt[key].begin(), sentAt[key].end(), [&](double sent) {
            return sent > received.front() - 0.45 - 0.3 && sent < received.back() - 0.45 + 0.3;
        });
        EXPECT_EQ(epochs.stationId, 2001u);
        EXPECT_DOUBLE_EQ(epochs.intervalS, 1.0);
        EXPECT_EQ(epochs.seen, received.size());
        EXPECT_EQ(epochs.lost, std::uint64_t(sentBetween) - received.size());
        EXPECT_EQ(epochs.seen, epochs.complete + epochs.incomplete);
        lostInAll += epochs.lost;
    }
    EXPECT_GT(lostInAll, 0u) << "10 % of some 60 MSM frames";
    EXPECT_EQ(lostInEvents, lostInAll);
    ASSERT_EQ(listener.stations.size(), 1u);
    EXPECT_TRUE(listener.stations[0].hasReferencePoint);
    EXPECT_FALSE(listener.stations[0].receiver.empty());
}

// A radio half a second late (a store-and-forward repeater) carries CMR type
// 4 four times a second: two periods of it are always on the air.
TEST(DemoTest, ALinkSlowerThanTwoPeriodsOfAFastTypeIsMatchedFrameForFrame)
{
    cli::sDemoOptions options;
    options.loop.seconds = 6;
    options.schedule = 0;
    options.channel.latencyMs = 500;
    options.channel.jitterMs = 0;
    options.channel.lossPercent = 10;
    options.channel.seed = 3;
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;
    const TolvarRT::sRadioAccount& account = result.account;
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_GT(account.dropped, 0u);
    EXPECT_EQ(total.sent, account.sent);
    EXPECT_EQ(total.matched, account.delivered);
    EXPECT_EQ(total.missed, account.dropped);
    for (const TolvarRT::sLinkFigures& type : result.figures.measured)
        EXPECT_EQ(type.unmatched, 0u) << type.name;
    EXPECT_GE(total.latencyMinS, 0.499);
    EXPECT_LT(total.latencyMaxS, 0.6);
}

// The link drops everything for 7 s once the periods are known (schedule 0
// sends CMR type 4 four times a second): one outage of the link and one of
// the type, each about as long as the window, in the text and the JSON; the
// budget against a slow radio warns; the events file holds the run.
// 13 s at schedule 0 with nothing lost but a drop window from 4.5 to 11.5 s,
// run once for all its tests.
class DropWindowDemoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new TolvarRT::testing::TempFolder;
        warnings = new std::vector<std::string>;
        demoOptions = new cli::sDemoOptions;
        demoOptions->loop.seconds = 13;
        demoOptions->schedule = 0;
        demoOptions->channel.lossPercent = 0;
        demoOptions->channel.latencyMs = 60;
        demoOptions->channel.jitterMs = 40;
        demoOptions->loop.linkBps = 2400;
        demoOptions->loop.onWarning = [](const std::string& warning) { warnings->push_back(warning); };
        demoOptions->loop.eventsFile = folder->File("events.jsonl");
        parsedWindow = cli::ParseDropWindow("4.5-11.5", demoOptions->channel.dropWindows.emplace_back());
        std::ostringstream progress;
        run = new cli::sDemoResult(cli::RunDemo(*demoOptions, progress));
    }
    static void TearDownTestSuite()
    {
        delete run;
        delete demoOptions;
        delete warnings;
        delete folder;
    }
    void SetUp() override
    {
        ASSERT_TRUE(parsedWindow);
        ASSERT_TRUE(run->error.empty()) << run->error;
    }

    static TolvarRT::testing::TempFolder* folder;
    static std::vector<std::string>* warnings;
    static cli::sDemoOptions* demoOptions;
    static bool parsedWindow;
    static cli::sDemoResult* run;
};

TolvarRT::testing::TempFolder* DropWindowDemoTest::folder = nullptr;
std::vector<std::string>* DropWindowDemoTest::warnings = nullptr;
cli::sDemoOptions* DropWindowDemoTest::demoOptions = nullptr;
bool DropWindowDemoTest::parsedWindow = false;
cli::sDemoResult* DropWindowDemoTest::run = nullptr;

TEST_F(DropWindowDemoTest, IsAnOutageOfTheLinkAndOfItsFastestType)
{
    const cli::sDemoResult& result = *run;
    EXPECT_GT(result.account.droppedInWindows, 20u);
    EXPECT_EQ(result.account.dropped, result.account.droppedInWindows) << "no loss outside the window";

    const cli::sSideHealth& listener = result.figures.listenerHealth;
    EXPECT_EQ(listener.counts.linkOutages, 1u);
    EXPECT_EQ(listener.counts.typeOutages, 1u) << "only type 4 has a known period that soon";
    ASSERT_EQ(listener.outages.size(), 2u);
    for (const TolvarRT::sOutage& outage : listener.outages) {
        ASSERT_TRUE(outage.end.has_value()) << "frames came back for long enough";
        EXPECT_NEAR(outage.durationS, 7.0, 0.6);
    }
    EXPECT_EQ(result.figures.sourceHealth.counts.linkOutages, 0u) << "the generator never stopped";

    const nlohmann::json json = cli::DemoJson(result);
    ASSERT_EQ(json["health"]["listener"]["outages"].size(), 2u);
    const nlohmann::json& link = json["health"]["listener"]["outages"][1];
    EXPECT_EQ(link["wholeLink"], true);
    EXPECT_NEAR(link["endS"].get<double>() - link["startS"].get<double>(), link["durationS"].get<double>(), 1e-6);
    EXPECT_EQ(json["link"]["droppedInWindows"], result.account.droppedInWindows);
    const std::string text = cli::DemoText(result);
    EXPECT_NE(text.find("Listener: 1 outages of frame types, 1 of the whole link"), std::string::npos) << text;
    EXPECT_NE(text.find("whole link out from "), std::string::npos) << text;

    // 360 bytes a second on the air need 3600 bit/s.
    EXPECT_TRUE(json["budget"]["total"]["overBudget"].get<bool>());
    EXPECT_EQ(json["budget"]["linkBps"], 2400);
    ASSERT_EQ(warnings->size(), 1u);
    EXPECT_NE(warnings->at(0).find("of the radio's 2400 bit/s"), std::string::npos) << warnings->at(0);
}

TEST(DemoTest, DropWindowsAreReadInSecondsAndMustRunForwards)
{
    TolvarRT::sDropWindow window;
    ASSERT_TRUE(cli::ParseDropWindow("2.5-10", window));
    EXPECT_EQ(window.fromMs, 2500u);
    EXPECT_EQ(window.toMs, 10000u);
    for (const char* bad : {"10-2", "5-5", "-1-3", "3", "3-", "a-b", "1-2x", "1+2"})
        EXPECT_FALSE(cli::ParseDropWindow(bad, window)) << bad;
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

// With the drop window of the test above: outages in the file as well.
TEST_F(DropWindowDemoTest, TheEventsFileHoldsEveryCountedFrameAndItsReportAgreesWithTheRun)
{
    const cli::sDemoResult& result = *run;
    const cli::sDemoOptions& options = *demoOptions;
    EXPECT_TRUE(result.figures.eventsFailure.empty()) << result.figures.eventsFailure;

    // Every line is an event, and each side's frames are the ones it counted.
    std::map<std::uint32_t, TolvarRT::sLinkFigures> counted;
    std::istringstream lines(TolvarRT::testing::TempFolder::Contents(options.loop.eventsFile));
    std::uint64_t lineCount = 0;
    for (std::string line; std::getline(lines, line); ++lineCount) {
        cli::sEventRecord record;
        ASSERT_TRUE(cli::ParseEventLine(line, record)) << line;
        if (record.event.kind != TolvarRT::eLinkEventKind::Frame)
            continue;
        TolvarRT::sLinkFigures& type = counted[record.event.key];
        ++(record.event.source ? type.sent : type.received);
        type.matched += record.event.matched ? 1 : 0;
    }
    EXPECT_EQ(lineCount, result.figures.eventLines);
    ASSERT_FALSE(result.figures.measured.empty());
    for (const TolvarRT::sLinkFigures& type : result.figures.measured) {
        EXPECT_EQ(counted[type.key].sent, type.sent) << type.name;
        EXPECT_EQ(counted[type.key].received, type.received) << type.name;
        EXPECT_EQ(counted[type.key].matched, type.matched) << type.name;
    }
    EXPECT_EQ(counted.size(), result.figures.measured.size());
    EXPECT_NE(cli::DemoText(result).find("Events written to " + options.loop.eventsFile), std::string::npos);

    // The report of the file: the run's counts exactly, its latency within
    // the histogram's buckets.
    std::istringstream file(TolvarRT::testing::TempFolder::Contents(options.loop.eventsFile));
    const cli::sEventsReport report = cli::ReadEventsReport(file);
    EXPECT_EQ(report.malformed, 0u);
    ASSERT_EQ(report.types.size(), result.figures.measured.size());
    for (std::size_t index = 0; index < report.types.size(); ++index) {
        const TolvarRT::sLinkFigures& run = result.figures.measured[index];
        const cli::sTypeEvents& read = report.types[index];
        EXPECT_EQ(read.name, run.name);
        EXPECT_EQ(read.sent, run.sent) << run.name;
        EXPECT_EQ(read.received, run.received) << run.name;
        EXPECT_EQ(read.matched, run.matched) << run.name;
        EXPECT_EQ(read.Missed(), run.missed) << run.name;
        EXPECT_EQ(read.Unmatched(), run.unmatched) << run.name;
        const TolvarRT::sLatencyDistribution latency = read.latency.Distribution();
        if (run.matched == 0)
            continue;
        // The same histogram of the same transits, which went through the
        // file as text.
        const TolvarRT::sLatencyDistribution live = run.transits.Distribution();
        EXPECT_EQ(latency.count, live.count) << run.name;
        EXPECT_NEAR(read.LatencyMeanS(), run.LatencyMeanS(), 1e-9) << run.name;
        EXPECT_NEAR(latency.minS, live.minS, 1e-9) << run.name;
        EXPECT_NEAR(latency.maxS, live.maxS, 1e-9) << run.name;
        EXPECT_NEAR(latency.medianS, live.medianS, 0.02 * live.medianS) << run.name;
        EXPECT_NEAR(latency.p95S, live.p95S, 0.02 * live.p95S) << run.name;
        EXPECT_NEAR(latency.rmsS, live.rmsS, 1e-9) << run.name;
    }

    // A band for each outage either side judged, as long as it lasted.
    std::vector<TolvarRT::sOutage> outages = result.figures.listenerHealth.outages;
    const std::vector<TolvarRT::sOutage>& sourceOutages = result.figures.sourceHealth.outages;
    outages.insert(outages.end(), sourceOutages.begin(), sourceOutages.end());
    ASSERT_GE(outages.size(), 2u) << "the window is an outage of the link and of type 4";
    std::vector<double> lasted;
    for (const cli::sEventBand& band : report.bands)
        if (!band.corrupted)
            lasted.push_back(band.end - band.begin);
    ASSERT_EQ(lasted.size(), outages.size());
    for (const TolvarRT::sOutage& outage : outages)
        EXPECT_NE(std::find_if(lasted.begin(), lasted.end(),
                               [&](double seconds) { return std::abs(seconds - outage.durationS) < 1e-6; }),
                  lasted.end())
            << outage.durationS << " s";
    std::size_t outageBands = 0;
    const std::string svg = cli::LatencySvg(report, "demo");
    for (std::size_t at = svg.find("class=\"outage\""); at != std::string::npos;
         at = svg.find("class=\"outage\"", at + 1))
        ++outageBands;
    EXPECT_EQ(outageBands, outages.size());
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(result.figures.measured);
    EXPECT_EQ(report.total.matched, total.matched);
    EXPECT_GT(total.missed, 0u) << "the window drops packets";
}

// A log file and an events file on a full disc: each loss is told while the
// test runs and again at the end, and the figures say only what happened.
TEST(DemoTest, ALogFileAndAnEventsFileThatLoseDataAreToldAndCounted)
{
    cli::sDemoOptions options;
    options.loop.seconds = 2;
    options.schedule = 0;
    options.logFile = "/dev/full";
    options.loop.eventsFile = "/dev/full";
    std::vector<std::string> warnings;
    options.loop.onWarning = [&](const std::string& warning) { warnings.push_back(warning); };
    std::ostringstream progress;
    const cli::sDemoResult result = cli::RunDemo(options, progress);
    ASSERT_TRUE(result.error.empty()) << result.error;

    EXPECT_TRUE(result.figures.LostData());
    EXPECT_GT(result.figures.logFailedWrites, 0u);
    const auto told = [&](const std::string& start) {
        return std::count_if(warnings.begin(), warnings.end(),
                             [&](const std::string& warning) { return warning.rfind(start, 0) == 0; });
    };
    EXPECT_EQ(told("log file failed, /dev/full: "), 2) << "at the first loss and at the end";
    EXPECT_EQ(told("events file failed, /dev/full: No space left on device"), 1)
        << "the lines are kept in memory until the end, where the first write fails";

    const std::string text = cli::DemoText(result);
    EXPECT_EQ(text.find("Events written"), std::string::npos) << text;
    EXPECT_NE(text.find("Events file failed: /dev/full: No space left on device (0 of " +
                        std::to_string(result.figures.eventLines) + " lines written)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Log file failed: /dev/full: "), std::string::npos) << text;
    const nlohmann::json json = cli::DemoJson(result);
    EXPECT_EQ(json["events"]["linesWritten"], 0);
    EXPECT_EQ(json["log"]["failedWrites"], result.figures.logFailedWrites);

    // Nothing lost: nothing said.
    cli::sDemoOptions whole;
    whole.loop.seconds = 1;
    whole.logFile = "/dev/null";
    const cli::sDemoResult fine = cli::RunDemo(whole, progress);
    EXPECT_FALSE(fine.figures.LostData());
    EXPECT_EQ(cli::DemoText(fine).find("failed"), std::string::npos);
}

}  // namespace
