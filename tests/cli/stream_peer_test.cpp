// The tool against the stream programs engineers already run: RTKLIB's
// str2str as an NTRIP caster, a TCP client and a TCP server (and, through
// the test, a plain UDP sender), each fed a real capture at a pace, and `tolvar run --json` counting
// what arrived. Every frame of the capture must be counted once, wherever the
// peer cut the stream.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "capture_manifest.h"
#include "stream_peer.h"
#include "temp_folder.h"

namespace {

using cli::testing::CChildProcess;
using cli::testing::CPacedFeed;
using cli::testing::CStr2Str;
using cli::testing::LoggedFrames;
using cli::testing::LogLines;
using TolvarRT::testing::Bytes;
using TolvarRT::testing::WaitUntil;

constexpr auto kArrivalLimit = std::chrono::seconds(20);

Bytes Capture(const std::string& name)
{
    std::ifstream file(TolvarRT::testing::CapturePath(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// The frames per message number the independent counter finds.
std::map<unsigned, std::uint64_t> TypesOf(const Bytes& bytes)
{
    std::map<unsigned, std::uint64_t> types;
    for (const cli::testing::sCountedFrame& frame : cli::testing::Rtcm3Frames(bytes))
        ++types[frame.type];
    return types;
}

// The RTCM v3 frames per message number in a run's --json, the primer's left out.
std::map<unsigned, std::uint64_t> TypesOf(const std::string& json)
{
    std::map<unsigned, std::uint64_t> types;
    const nlohmann::json document = nlohmann::json::parse(json, nullptr, false);
    if (document.is_discarded() || !document.contains("rows")) {
        ADD_FAILURE() << "not the run's JSON: " << json;
        return types;
    }
    for (const nlohmann::json& row : document["rows"]) {
        const std::string name = row["name"].get<std::string>();
        if (name.rfind("RTCM v3 Type ", 0) == 0 && row["type"] != cli::testing::kPrimerType)
            types[row["type"].get<unsigned>()] += row["count"].get<std::uint64_t>();
    }
    return types;
}

// `tolvar run` on the Listener until interrupted, its log (level basic) in a
// file the test reads as it grows.
class CListenerRun {
public:
    explicit CListenerRun(const std::string& listener)
    {
        logFile = folder.File("run.txt");
        process.Start(TOLVAR_COMMAND, {"run", "--listener", listener, "--no-probe", "--json", "--log", logFile,
                                       "--log-level", "basic"});
    }
    const std::string& Log() const { return logFile; }
    bool Logged(const std::string& text, std::size_t times = 1) const
    {
        return WaitUntil([&] { return LogLines(logFile, text) >= times; }, kArrivalLimit);
    }
    // Lets the feed go on once the primer came through the peer.
    bool Hears(CPacedFeed& feed, std::size_t primersBefore = 0) const
    {
        if (!WaitUntil([&] { return LoggedFrames(logFile, true) > primersBefore; }, kArrivalLimit))
            return false;
        feed.Heard();
        return true;
    }
    bool Counted(std::size_t frames) const
    {
        return WaitUntil([&] { return LoggedFrames(logFile, false) >= frames; }, kArrivalLimit);
    }
    // Ends the run as Ctrl+C does: its exit status; the JSON in Out().
    int Stop() { return process.Stop(); }
    const std::string& Out() const { return process.Out(); }
    std::string Trace() const
    {
        std::ifstream in(logFile);
        std::stringstream text;
        text << in.rdbuf();
        return process.Err() + "\n" + text.str();
    }

private:
    TolvarRT::testing::TempFolder folder;
    std::string logFile;
    CChildProcess process;
};

// What each test checks at its end: the run ended well and counted each
// frame of the capture once, by type, as the log did frame by frame.
void ExpectEveryFrameOnce(CListenerRun& run, const Bytes& capture)
{
    const std::map<unsigned, std::uint64_t> sent = TypesOf(capture);
    std::uint64_t total = 0;
    for (const auto& [type, count] : sent)
        total += count;
    ASSERT_TRUE(run.Counted(total)) << run.Trace();
    EXPECT_EQ(run.Stop(), 0) << run.Trace();
    EXPECT_EQ(TypesOf(run.Out()), sent) << run.Trace();
    EXPECT_EQ(LoggedFrames(run.Log(), false), total) << "nothing counted twice";
}

TEST(StreamPeerTest, AnNtripCastersStreamIsCountedFrameForFrame)
{
    const Bytes capture = Capture("testglo.rtcm3");
    ASSERT_EQ(cli::testing::Rtcm3Frames(capture).size(), 429u) << "the counter agrees with the manifest";
    CPacedFeed feed;
    CStr2Str caster;
    const std::uint16_t port = cli::testing::FreeLoopbackPort(SOCK_STREAM);
    ASSERT_TRUE(caster.Start(feed.Port(), "ntripc://me:secret@:" + std::to_string(port) + "/RTCM3"));
    ASSERT_TRUE(WaitUntil([&] { return cli::testing::Accepts(port); }, kArrivalLimit));
    feed.Start(capture, 25);

    CListenerRun run("NTRIP:me:secret@127.0.0.1:" + std::to_string(port) + "/RTCM3");
    ASSERT_TRUE(run.Hears(feed)) << run.Trace();
    ExpectEveryFrameOnce(run, capture);
}

TEST(StreamPeerTest, AnNtripCasterRefusingThePasswordOrTheMountpointEndsTheRunSayingWhy)
{
    CPacedFeed feed;
    CStr2Str caster;
    const std::uint16_t port = cli::testing::FreeLoopbackPort(SOCK_STREAM);
    ASSERT_TRUE(caster.Start(feed.Port(), "ntripc://me:secret@:" + std::to_string(port) + "/RTCM3"));
    ASSERT_TRUE(WaitUntil([&] { return cli::testing::Accepts(port); }, kArrivalLimit));
    const std::string at = "127.0.0.1:" + std::to_string(port);

    const cli::testing::sTolvarRun wrong =
        cli::testing::RunTolvar({"run", "--listener", "NTRIP:me:guess@" + at + "/RTCM3", "--seconds", "1"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err, "tolvar: NTRIP:me:****@" + at + "/RTCM3: the caster " + at +
                             " refused user \"me\" or its password (401 Unauthorized)\n");

    const cli::testing::sTolvarRun unknown =
        cli::testing::RunTolvar({"run", "--listener", "ntrip://me:secret@" + at + "/RTCM", "--seconds", "1"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "tolvar: ntrip://me:****@" + at + "/RTCM: the caster " + at +
                               " has no mountpoint \"RTCM\"; its mountpoints: RTCM3\n");
}

// str2str dials out to the tool's TCP server, goes away halfway through the
// capture, and a new one brings the rest: each coming and going is logged
// once, and no frame is counted twice.
TEST(StreamPeerTest, ATcpServerListenerTakesAClientThatLeavesAndComesBack)
{
    const Bytes capture = Capture("testglo.rtcm3");
    const std::vector<cli::testing::sCountedFrame> frames = cli::testing::Rtcm3Frames(capture);
    const std::size_t half = frames.size() / 2;
    const std::size_t cut = frames[half].offset;
    const std::uint16_t port = cli::testing::FreeLoopbackPort(SOCK_STREAM);
    const std::string name = "TCPSVR:127.0.0.1:" + std::to_string(port);
    CListenerRun run(name);
    ASSERT_TRUE(run.Logged("Open " + name)) << run.Trace();

    CPacedFeed firstFeed;
    CStr2Str first;
    ASSERT_TRUE(first.Start(firstFeed.Port(), "tcpcli://127.0.0.1:" + std::to_string(port)));
    firstFeed.Start(Bytes(capture.begin(), capture.begin() + std::ptrdiff_t(cut)), 7);
    ASSERT_TRUE(run.Hears(firstFeed)) << run.Trace();
    ASSERT_TRUE(run.Counted(half)) << run.Trace();
    first.Stop();
    ASSERT_TRUE(run.Logged(name + ": the client disconnected")) << run.Trace();

    CPacedFeed secondFeed;
    CStr2Str second;
    ASSERT_TRUE(second.Start(secondFeed.Port(), "tcpcli://127.0.0.1:" + std::to_string(port)));
    secondFeed.Start(Bytes(capture.begin() + std::ptrdiff_t(cut), capture.end()), 8);
    ASSERT_TRUE(run.Hears(secondFeed, LoggedFrames(run.Log(), true))) << run.Trace();
    ExpectEveryFrameOnce(run, capture);
    EXPECT_EQ(LogLines(run.Log(), name + ": a client connected"), 2u) << run.Trace();
    EXPECT_EQ(LogLines(run.Log(), name + ": the client disconnected"), 1u) << run.Trace();
    EXPECT_EQ(LogLines(run.Log(), "replaces"), 0u) << run.Trace();
}

TEST(StreamPeerTest, ATcpClientReadsAStreamServer)
{
    const Bytes capture = Capture("pygpsdata-NTRIP-USCL00CHL0.log");
    CPacedFeed feed;
    CStr2Str server;
    const std::uint16_t port = cli::testing::FreeLoopbackPort(SOCK_STREAM);
    ASSERT_TRUE(server.Start(feed.Port(), "tcpsvr://:" + std::to_string(port)));
    ASSERT_TRUE(WaitUntil([&] { return cli::testing::Accepts(port); }, kArrivalLimit));
    feed.Start(capture, 3);

    CListenerRun run("TCP:127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(run.Hears(feed)) << run.Trace();
    ExpectEveryFrameOnce(run, capture);
}

// Debian's str2str has no udpcli:// output (its library has, its path parser
// not), so its TCP server's output is passed on by the test, each chunk
// str2str wrote as one datagram: the stream's cuts stay str2str's own.
class CChunksToDatagrams {
public:
    CChunksToDatagrams(std::uint16_t from, std::uint16_t to)
    {
        worker = std::thread([this, from, to] {
            int stream = -1;
            WaitUntil(
                [&] {
                    stream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    const sockaddr_in address = TolvarRT::testing::Loopback(from);
                    if (connect(stream, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                        return true;
                    close(stream);
                    stream = -1;
                    return stop.load();
                },
                kArrivalLimit);
            const int datagrams = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = TolvarRT::testing::Loopback(to);
            std::uint8_t chunk[65536];
            while (stream >= 0 && !stop.load()) {
                if (!TolvarRT::testing::WaitReadable(stream, std::chrono::milliseconds(50)))
                    continue;
                const ssize_t got = recv(stream, chunk, sizeof chunk, 0);
                if (got <= 0)
                    break;
                sendto(datagrams, chunk, std::size_t(got), 0, reinterpret_cast<const sockaddr*>(&target),
                       sizeof target);
            }
            close(datagrams);
            if (stream >= 0)
                close(stream);
        });
    }
    ~CChunksToDatagrams()
    {
        stop = true;
        worker.join();
    }

private:
    std::atomic<bool> stop{false};
    std::thread worker;
};

TEST(StreamPeerTest, APlainUdpReceiverTakesEveryDatagramOfAStreamServersChunks)
{
    const Bytes capture = Capture("testglo.rtcm3");
    const std::uint16_t port = cli::testing::FreeLoopbackPort(SOCK_DGRAM);
    CListenerRun run("udpsvr://:" + std::to_string(port));
    ASSERT_TRUE(run.Logged("Open UDPSVR::" + std::to_string(port))) << run.Trace();

    CPacedFeed feed;
    CStr2Str server;
    const std::uint16_t serverPort = cli::testing::FreeLoopbackPort(SOCK_STREAM);
    ASSERT_TRUE(server.Start(feed.Port(), "tcpsvr://:" + std::to_string(serverPort)));
    CChunksToDatagrams relay(serverPort, port);
    feed.Start(capture, 11);
    ASSERT_TRUE(run.Hears(feed)) << run.Trace();
    ExpectEveryFrameOnce(run, capture);
}

// A converter's name is no plain UDP receiver: the error says what the name
// speaks, on which port when none is given, and what receives plain UDP.
TEST(StreamPeerTest, AConverterNameNobodyAnswersSaysItsProtocolAndDefaultPort)
{
    const std::string name = "UDP:127.0.0.1:" + std::to_string(cli::testing::FreeLoopbackPort(SOCK_DGRAM));
    const cli::testing::sTolvarRun refused = cli::testing::RunTolvar({"run", "--listener", name, "--seconds", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "tolvar: " + name +
                               ": Connection refused (UDP: speaks the converter's link protocol, on port 4044 when "
                               "the name gives none; UDPSVR:[addr:]port receives plain UDP)\n");
}

}  // namespace
