// Many links in one monitor: a dozen on loopback (TCP servers with a Source
// each, NTRIP casters, UDP converters, replayed captures), one of them cut
// for 10 s: only that link's figures and outages show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "capture_manifest.h"
#include "cli/monitor_command.h"
#include "ntrip_caster.h"
#include "rtcm3_frame_builder.h"
#include "tcp_server.h"
#include "temp_folder.h"
#include "udp_peer.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using TolvarRT::testing::Bytes;
using TolvarRT::testing::CNtripCaster;
using TolvarRT::testing::CTcpServer;
using TolvarRT::testing::CUdpPeer;

constexpr auto kEpoch = 200ms;
constexpr unsigned kSeconds = 17;
constexpr auto kCutFrom = 3s;
constexpr auto kCut = 10s;
constexpr std::uint8_t kUdpLink = 3;
// The radio's delay: a frame reaches the Listener this long after the Source.
constexpr auto kRadioDelay = 50ms;

// What the monitor tells while it runs, from any of its threads.
class CTold {
public:
    explicit CTold(cli::sTestLoop& loop)
    {
        loop.onWarning = [this](const std::string& text) {
            std::lock_guard<std::mutex> guard(lock);
            lines.push_back(text);
        };
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }

private:
    std::mutex lock;
    std::vector<std::string> lines;
};

const cli::sMonitoredLink& Link(const cli::sMonitorResult& result, const std::string& name)
{
    for (const cli::sMonitoredLink& link : result.links)
        if (link.name == name)
            return link;
    static const cli::sMonitoredLink none;
    ADD_FAILURE() << "no link " << name;
    return none;
}

TEST(MonitorTest, ADozenLinksRunTogetherAndOnlyTheCutOneShowsItsOutage)
{
    TolvarRT::testing::TempFolder folder;
    constexpr unsigned kTcpLinks = 5;  // the last is cut
    std::vector<std::unique_ptr<CTcpServer>> listeners, sources;
    std::vector<std::unique_ptr<CNtripCaster>> casters(3);
    std::vector<std::unique_ptr<CUdpPeer>> udp(2);
    std::ostringstream yaml;
    yaml << "defaults:\n  match-window: 5\n  events: " << folder.File("events") << "\n  record: " << folder.File("rec")
         << "\nlinks:\n";
    for (unsigned i = 0; i < kTcpLinks; ++i) {
        listeners.push_back(std::make_unique<CTcpServer>());
        sources.push_back(std::make_unique<CTcpServer>());
        ASSERT_TRUE(listeners.back()->Listen() && sources.back()->Listen());
        yaml << "  - name: tcp" << i << "\n    listener: TCP:127.0.0.1:" << listeners.back()->Port()
             << "\n    source: TCP:127.0.0.1:" << sources.back()->Port() << "\n    require: \"All types:95%\"\n";
    }
    for (std::size_t i = 0; i < casters.size(); ++i) {
        casters[i] = std::make_unique<CNtripCaster>();
        ASSERT_TRUE(casters[i]->Start({CNtripCaster::Version::Two, "MOUNT" + std::to_string(i), "me", "pw"}));
        yaml << "  - name: ntrip" << i << "\n    listener: NTRIP:me:pw@127.0.0.1:" << casters[i]->Port() << "/MOUNT"
             << i << "\n";
    }
    for (std::size_t i = 0; i < udp.size(); ++i) {
        udp[i] = std::make_unique<CUdpPeer>();
        yaml << "  - name: udp" << i << "\n    listener: UDP:127.0.0.1:" << udp[i]->Port() << "\n";
    }
    for (const char* capture : {"testglo.rtcm3", "rtcm3-1.log"})
        yaml << "  - name: " << std::filesystem::path(capture).stem().string()
             << "\n    listener: FILE:" << TolvarRT::testing::CapturePath(capture) << "\n";

    cli::sMonitorOptions options;
    std::string error;
    ASSERT_TRUE(cli::ParseMonitorConfig(yaml.str(), "links.yaml", options.config, error)) << error << yaml.str();
    ASSERT_EQ(options.config.links.size(), 12u);
    options.loop.seconds = kSeconds;
    options.loop.serve = "0";
    CTold told(options.loop);
    std::ostringstream progress;
    // The converters answer the ports' connection requests while the monitor opens them.
    std::vector<std::future<bool>> handshakes;
    for (auto& peer : udp)
        handshakes.push_back(std::async(std::launch::async, [&peer] {
            Bytes datagram;
            if (!peer->ReceiveType(TolvarRT::kUdpConnectRequest, datagram))
                return false;
            peer->Send(TolvarRT::kUdpConnectAccepted, kUdpLink);
            return true;
        }));
    auto monitor = std::async(std::launch::async, [&] { return cli::RunMonitor(options, progress); });
    for (unsigned i = 0; i < kTcpLinks; ++i)
        ASSERT_TRUE(listeners[i]->Accept() && sources[i]->Accept()) << "tcp" << i;
    for (auto& handshake : handshakes)
        ASSERT_TRUE(handshake.get());

    // Every epoch a frame of new content to every link, until the monitor ends.
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t epoch = 1; monitor.wait_until(start + epoch * kEpoch) != std::future_status::ready; ++epoch) {
        const Bytes frame = TolvarRT::testing::rtcm3_reference::Frame(1005, 19, 0, epoch);
        const auto since = std::chrono::steady_clock::now() - start;
        const bool cut = since >= kCutFrom && since < kCutFrom + kCut;
        for (auto& source : sources)
            source->Send(frame);
        std::this_thread::sleep_for(kRadioDelay);
        for (unsigned i = 0; i < kTcpLinks; ++i)
            if (!(cut && i == kTcpLinks - 1))
                listeners[i]->Send(frame);
        for (auto& caster : casters)
            caster->Send(std::string(frame.begin(), frame.end()));
        for (auto& peer : udp)
            peer->Send(TolvarRT::kUdpData, kUdpLink, frame);
    }
    const cli::sMonitorResult result = monitor.get();
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_EQ(result.links.size(), 12u);
    const std::string text = cli::MonitorText(result);
    SCOPED_TRACE(text);

    for (const cli::sMonitoredLink& link : result.links) {
        SCOPED_TRACE(link.name);
        EXPECT_TRUE(link.ran) << link.openError;
        const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(link.figures.measured);
        EXPECT_GT(total.received, 0u);
        // Each link wrote its own events file and recording.
        EXPECT_EQ(link.figures.eventsFile, folder.File("events") + "/" + link.name + ".jsonl");
        EXPECT_TRUE(std::filesystem::exists(folder.File("rec") + "/" + link.name + "/listener.raw"));
        EXPECT_FALSE(link.figures.LostData());
        if (link.name == "tcp4")
            continue;
        EXPECT_EQ(link.figures.listenerHealth.counts.linkOutages, 0u);
        if (link.withSource) {
            EXPECT_EQ(total.missed, 0u);
            EXPECT_EQ(total.matched, total.received);
            EXPECT_GE(total.transits.Distribution().medianS, 0.04);
            EXPECT_TRUE(link.verdict.passed);
        }
    }
    const cli::sMonitoredLink& cut = Link(result, "tcp4");
    const TolvarRT::sLinkFigures total = TolvarRT::LinkTotal(cut.figures.measured);
    EXPECT_EQ(cut.figures.listenerHealth.counts.linkOutages, 1u);
    EXPECT_NEAR(cut.figures.listenerHealth.counts.outageSeconds, 10.0, 2.0);
    // About 10 of the run's seconds were lost: the frames of the cut, missed.
    EXPECT_NEAR(double(total.missed), double(kCut / kEpoch), 6.0);
    EXPECT_FALSE(cut.verdict.passed);
    EXPECT_EQ(cli::MonitorStatus(result), 3) << "a requirement failed";
    EXPECT_NE(text.find("tcp4: Verdict: FAIL"), std::string::npos);
}

// A link whose port is not there yet is tried again until it opens, while
// the others run; one that never opens fails the monitor, and says why once.
TEST(MonitorTest, ALinkThatCannotOpenIsTriedAgainWhileTheOthersRun)
{
    CTcpServer late;
    ASSERT_TRUE(late.Listen());
    const std::uint16_t latePort = late.Port();
    late.Stop();
    CTcpServer gone;
    ASSERT_TRUE(gone.Listen());
    const std::string goneName = "TCP:127.0.0.1:" + std::to_string(gone.Port());
    gone.Stop();
    const std::string yaml =
        "links:\n  - name: replay\n    listener: FILE:" + TolvarRT::testing::CapturePath("testglo.rtcm3") +
        "\n  - name: late\n    listener: TCP:127.0.0.1:" + std::to_string(latePort) +
        "\n  - name: gone\n    listener: " + goneName + "\n";
    cli::sMonitorOptions options;
    std::string error;
    ASSERT_TRUE(cli::ParseMonitorConfig(yaml, "links.yaml", options.config, error)) << error;
    options.loop.seconds = 4;
    options.retry = 100ms;
    CTold told(options.loop);
    std::ostringstream progress;
    auto monitor = std::async(std::launch::async, [&] { return cli::RunMonitor(options, progress); });
    ASSERT_TRUE(TolvarRT::testing::WaitUntil([&] { return told.Lines().size() >= 2; })) << "both failures told";
    ASSERT_TRUE(late.Listen(latePort));
    ASSERT_TRUE(late.Accept());
    for (std::uint32_t epoch = 1; monitor.wait_for(kEpoch) != std::future_status::ready; ++epoch)
        late.Send(TolvarRT::testing::rtcm3_reference::Frame(1005, 19, 0, epoch));
    const cli::sMonitorResult result = monitor.get();
    SCOPED_TRACE(cli::MonitorText(result));

    EXPECT_TRUE(Link(result, "replay").ran);
    EXPECT_GT(TolvarRT::LinkTotal(Link(result, "replay").figures.measured).received, 0u);
    const cli::sMonitoredLink& opened = Link(result, "late");
    EXPECT_TRUE(opened.ran);
    EXPECT_TRUE(opened.openError.empty());
    EXPECT_GT(TolvarRT::LinkTotal(opened.figures.measured).received, 0u);
    const cli::sMonitoredLink& never = Link(result, "gone");
    EXPECT_FALSE(never.ran);
    EXPECT_EQ(never.openError, goneName + ": Connection refused");
    const std::vector<std::string> warnings = told.Lines();
    EXPECT_EQ(std::count_if(warnings.begin(), warnings.end(),
                            [](const std::string& text) { return text.rfind("gone: ", 0) == 0; }),
              1)
        << "the same reason is told once";
    EXPECT_EQ(cli::MonitorStatus(result), 3);
    const nlohmann::json json = cli::MonitorJson(result);
    EXPECT_EQ(json["status"], 3);
    EXPECT_EQ(json["links"][2]["openError"], never.openError);
    EXPECT_EQ(json["links"][1]["figures"]["seconds"], 4);
}

// The worst link decides: a failed requirement over lost data over a pass;
// only when nothing opened at all is it 1.
TEST(MonitorTest, TheStatusIsTheWorstOfTheLinks)
{
    cli::sMonitoredLink passed;
    passed.ran = true;
    cli::sMonitoredLink lostData = passed;
    lostData.figures.eventsFailure = "disk full";
    cli::sMonitoredLink failed = passed;
    failed.verdict.passed = false;
    cli::sMonitoredLink neverOpened;
    neverOpened.verdict.passed = false;
    EXPECT_EQ(cli::MonitorStatus({"", {passed, passed}}), 0);
    EXPECT_EQ(cli::MonitorStatus({"", {passed, lostData}}), 4);
    EXPECT_EQ(cli::MonitorStatus({"", {lostData, failed, passed}}), 3);
    EXPECT_EQ(cli::MonitorStatus({"", {passed, neverOpened}}), 3);
    EXPECT_EQ(cli::MonitorStatus({"", {neverOpened, neverOpened}}), 1);
    EXPECT_EQ(cli::MonitorStatus({"--serve 127.0.0.1:80: Permission denied", {}}), 1);
}

}  // namespace

namespace {

// A link whose frames carry epochs adds its ages to its line; the columns
// of the others stay as they were.
TEST(MonitorLinesTest, ALinkWithAgesAddsTheirMedianAnd95thPercentile)
{
    cli::sLinkLine aged;
    aged.name = "rover";
    aged.state = "open";
    aged.received = 12;
    aged.ageMedianMs = 812.25;
    aged.ageP95Ms = 950.0;
    cli::sLinkLine plain = aged;
    plain.name = "cmr";
    plain.ageMedianMs.reset();
    plain.ageP95Ms.reset();
    const std::string text = cli::LinkLinesText({aged, plain});
    EXPECT_EQ(text,
              "LINK   STATE      RECEIVED  MEDIAN ms     P95 ms  OUTAGES\n"
              "rover  open          12 fr          -          -  0 (0.0 s)  age median 812.2 ms, 95% 950.0 ms\n"
              "cmr    open          12 fr          -          -  0 (0.0 s)\n");
}

}  // namespace
