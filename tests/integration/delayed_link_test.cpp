// Links that hold every frame for many frame periods, over real ports: a peer
// plays the base receiver and the radio at once, writing each RTCM v3 frame
// to the Source's port at once and to the Listener's port after a fixed
// delay, dropping the frames the test chose. At 20 Hz and a 5 s delay a
// hundred frames of each type are in flight at any time; some types never
// change their content, so only the delay tells their frames apart. Once the
// link has drained, every type must read received = matched = delivered,
// missed = dropped, unmatched 0, each frame timed by its own sending.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "case_name.h"
#include "delay_line.h"
#include "pty_pair.h"
#include "rtcm3_endpoint.h"
#include "stats/link_figures.h"
#include "tcp_server.h"
#include "udp_peer.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Rtcm3Endpoint;
namespace reference = testing::rtcm3_reference;

// The peer's two ends on one kind of transport: what the Source's port and the
// Listener's port are opened on, and writing to each. ToSource runs on the
// test's thread, ToListener on the delay line's.
class LinkEnds {
public:
    virtual ~LinkEnds() = default;
    virtual bool Open(Rtcm3Endpoint& source, Rtcm3Endpoint& listener) = 0;
    virtual void Close(Rtcm3Endpoint& source, Rtcm3Endpoint& listener)
    {
        source.pipe.ClosePort();
        listener.pipe.ClosePort();
    }
    virtual void ToSource(const Bytes& frame) = 0;
    virtual void ToListener(const Bytes& frame) = 0;
};

// The converter's side of two UDP links, one datagram per frame.
class UdpEnds : public LinkEnds {
public:
    bool Open(Rtcm3Endpoint& source, Rtcm3Endpoint& listener) override
    {
        return Accept(sourcePeer, source) && Accept(listenerPeer, listener);
    }
    void Close(Rtcm3Endpoint& source, Rtcm3Endpoint& listener) override
    {
        // Answered, the goodbye ends at once instead of after the port's
        // waits for an answer.
        for (auto [peer, end] : {std::pair{&sourcePeer, &source}, std::pair{&listenerPeer, &listener}})
            peer->AnswerWhile(kUdpDisconnect, kUdpDisconnectAck, kLink, [end] { return end->pipe.ClosePort(); });
    }
    void ToSource(const Bytes& frame) override { sourcePeer.Send(kUdpData, kLink, frame); }
    void ToListener(const Bytes& frame) override { listenerPeer.Send(kUdpData, kLink, frame); }

private:
    static constexpr std::uint8_t kLink = 3;
    static bool Accept(testing::CUdpPeer& peer, Rtcm3Endpoint& end)
    {
        const std::string name = "UDP:127.0.0.1:" + std::to_string(peer.Port());
        return peer.AnswerWhile(kUdpConnectRequest, kUdpConnectAccepted, kLink,
                                [&] { return end.pipe.OpenPort({name}); });
    }
    testing::CUdpPeer sourcePeer, listenerPeer;
};

// Two TCP servers on loopback, each port a client of one.
class TcpEnds : public LinkEnds {
public:
    bool Open(Rtcm3Endpoint& source, Rtcm3Endpoint& listener) override
    {
        return Connect(sourceServer, source) && Connect(listenerServer, listener);
    }
    void ToSource(const Bytes& frame) override { sourceServer.Send(frame); }
    void ToListener(const Bytes& frame) override { listenerServer.Send(frame); }

private:
    static bool Connect(testing::CTcpServer& server, Rtcm3Endpoint& end)
    {
        return server.Listen() && end.pipe.OpenPort({"TCP:127.0.0.1:" + std::to_string(server.Port())}) &&
               server.Accept();
    }
    testing::CTcpServer sourceServer, listenerServer;
};

// Two pseudo-terminal pairs: each port opens a slave, the peer writes to the
// masters.
class PtyEnds : public LinkEnds {
public:
    bool Open(Rtcm3Endpoint& source, Rtcm3Endpoint& listener) override
    {
        return sourcePty.IsValid() && listenerPty.IsValid() &&
               source.pipe.OpenPort({sourcePty.SlavePath(), 115200, 0, 0, 0}) &&
               listener.pipe.OpenPort({listenerPty.SlavePath(), 115200, 0, 0, 0});
    }
    void ToSource(const Bytes& frame) override { sourcePty.Write(frame); }
    void ToListener(const Bytes& frame) override { listenerPty.Write(frame); }

private:
    testing::PtyPair sourcePty, listenerPty;
};

constexpr auto kEpoch = 50ms;  // 20 Hz
// How long the peer sends beyond the delay: the Listener matches while the
// Source is still adding frames of every type.
constexpr auto kSendingBeyondDelay = 2s;

struct sPlannedFrame {
    unsigned type;
    Bytes bytes;
    bool dropped;
};

// What the base sends in epoch number epoch: observations whose content
// changes every epoch, first, so that the link's delay is known by the time
// the station description (every epoch) and the antenna description (every
// fourth) arrive, whose content never changes. Each type loses its own
// chosen frames.
std::vector<sPlannedFrame> Epoch(unsigned epoch)
{
    std::vector<sPlannedFrame> frames{
        {1004, reference::Frame(1004, 40 + epoch % 30, 0, epoch + 1), epoch % 9 == 4},
        {1077, reference::Frame(1077, 200 + epoch % 50, 0, epoch + 5000), epoch % 13 == 7},
        {1005, reference::Frame(1005, 19, 0, 77), epoch % 7 == 2},
    };
    if (epoch % 4 == 1)
        frames.push_back({1033, reference::Frame(1033, 30, 0, 99), epoch % 20 == 9});
    return frames;
}

// What the peer did with the frames of one type, in the order it sent them.
struct sSendings {
    std::vector<bool> dropped;  // by the radio
    std::uint64_t Sent() const { return dropped.size(); }
    std::uint64_t Dropped() const { return std::uint64_t(std::count(dropped.begin(), dropped.end(), true)); }
    std::uint64_t Delivered() const { return Sent() - Dropped(); }
};

// Sends the epochs of sendFor at 20 Hz on absolute due times, through the
// delay line to the Listener.
std::map<unsigned, sSendings> SendEpochs(LinkEnds& ends, testing::CDelayLine& radio, std::chrono::milliseconds sendFor)
{
    std::map<unsigned, sSendings> sendings;
    auto due = std::chrono::steady_clock::now();
    for (unsigned epoch = 0; epoch < unsigned(sendFor / kEpoch); ++epoch) {
        std::this_thread::sleep_until(due);
        for (sPlannedFrame& frame : Epoch(epoch)) {
            sendings[frame.type].dropped.push_back(frame.dropped);
            ends.ToSource(frame.bytes);
            if (!frame.dropped)
                radio.Push(std::move(frame.bytes));
        }
        due += kEpoch;
    }
    return sendings;
}

std::uint64_t Frames(const std::vector<PacketStats>& records)
{
    std::uint64_t frames = 0;
    for (const PacketStats& record : records)
        frames += record.frames;
    return frames;
}

enum class eTransport { Udp, Tcp, Pty };

struct sDelayCase {
    const char* what;
    eTransport transport;
    std::chrono::milliseconds delay;
};

std::unique_ptr<LinkEnds> MakeEnds(eTransport transport)
{
    switch (transport) {
    case eTransport::Udp: return std::make_unique<UdpEnds>();
    case eTransport::Tcp: return std::make_unique<TcpEnds>();
    case eTransport::Pty: break;
    }
    return std::make_unique<PtyEnds>();
}

// The Source, the Listener and the peer between them, for one case.
struct sDelayedLink {
    sDelayedLink(eTransport transport, std::chrono::milliseconds delay)
        : delay(delay), ends(MakeEnds(transport)), radio(delay, [this](const Bytes& frame) { ends->ToListener(frame); })
    {
        listener.statistics.SetSource(&source.statistics);
    }
    ~sDelayedLink()
    {
        if (opened)
            ends->Close(source, listener);
    }

    // Opens both ports, sends for sendFor, and waits until the radio has
    // delivered all it holds and both sides have counted every frame; false
    // when any of it fails.
    bool Run(std::chrono::milliseconds sendFor)
    {
        opened = ends->Open(source, listener);
        if (!opened)
            return false;
        sendings = SendEpochs(*ends, radio, sendFor);
        std::uint64_t sent = 0, delivered = 0;
        for (const auto& [type, ofType] : sendings) {
            sent += ofType.Sent();
            delivered += ofType.Delivered();
        }
        if (!radio.WaitDrained(delay + 20s))
            return false;
        return testing::WaitUntil([&] {
            snapshot = listener.statistics.Snapshot();
            return Frames(snapshot.sourceRecords) == sent && Frames(snapshot.records) == delivered &&
                   source.frames.Count() == sent && listener.frames.Count() == delivered;
        });
    }

    // The seconds each delivered frame took from the Source's decoder to the
    // Listener's, by the time stamps both published it with (the ones the
    // statistics are given), per type in the order received: the k-th frame
    // received is the k-th sending the radio did not drop.
    std::map<unsigned, std::vector<double>> Transits() const
    {
        std::map<unsigned, std::vector<TimeStamp>> sentAt, receivedAt;
        for (const auto& seen : source.frames.Seen())
            sentAt[seen.type].push_back(seen.at);
        for (const auto& seen : listener.frames.Seen())
            receivedAt[seen.type].push_back(seen.at);
        std::map<unsigned, std::vector<double>> transits;
        for (const auto& [type, ofType] : sendings) {
            std::size_t received = 0;
            for (std::size_t sent = 0; sent < ofType.dropped.size(); ++sent)
                if (!ofType.dropped[sent])
                    transits[type].push_back(SecondsBetween(receivedAt[type][received++], sentAt[type][sent]));
        }
        return transits;
    }

    const std::chrono::milliseconds delay;
    const std::unique_ptr<LinkEnds> ends;
    Rtcm3Endpoint source{true};
    Rtcm3Endpoint listener;
    testing::CDelayLine radio;
    bool opened = false;
    std::map<unsigned, sSendings> sendings;
    sStatsSnapshot snapshot;  // once every frame was counted
};

bool ContentNeverChanges(unsigned type)
{
    return type == 1005 || type == 1033;
}

class DelayedLinkTest : public ::testing::TestWithParam<sDelayCase> {};

TEST_P(DelayedLinkTest, EveryDeliveredFrameIsMatchedWithItsOwnSendingAndEveryDroppedOneMissed)
{
    sDelayedLink link(GetParam().transport, GetParam().delay);
    ASSERT_TRUE(link.Run(link.delay + std::chrono::milliseconds(kSendingBeyondDelay)))
        << "the Source counts every frame sent, the Listener every frame delivered";

    // Still running, the frames the radio dropped are in flight: the Source
    // sent them less than the match window ago.
    for (const sLinkFigures& figures : MeasureLink(link.snapshot, false)) {
        const sSendings& sendings = link.sendings.at(KeyType(figures.key));
        EXPECT_EQ(figures.inFlight, sendings.Dropped()) << figures.name;
        EXPECT_EQ(figures.missed, 0u) << figures.name;
    }

    const std::vector<sLinkFigures> types = MeasureLink(link.snapshot, true);
    ASSERT_EQ(types.size(), link.sendings.size());
    for (const sLinkFigures& figures : types) {
        const sSendings& sendings = link.sendings.at(KeyType(figures.key));
        EXPECT_EQ(figures.sent, sendings.Sent()) << figures.name;
        EXPECT_EQ(figures.received, sendings.Delivered()) << figures.name;
        EXPECT_EQ(figures.matched, sendings.Delivered()) << figures.name;
        EXPECT_EQ(figures.missed, sendings.Dropped()) << figures.name;
        EXPECT_EQ(figures.unmatched, 0u) << figures.name;
        EXPECT_EQ(figures.inFlight, 0u) << figures.name;
    }
    EXPECT_GT(link.sendings.at(1005).Dropped(), 0u) << "the case drops frames of a type whose content never changes";

    // What the frames really took, whatever the ports' threads added on a
    // loaded machine or under a sanitizer.
    const std::map<unsigned, std::vector<double>> transits = link.Transits();
    std::vector<double> all;
    for (const auto& [type, ofType] : transits)
        all.insert(all.end(), ofType.begin(), ofType.end());
    const auto [fastest, slowest] = std::minmax_element(all.begin(), all.end());
    const double spread = *slowest - *fastest;
    // The radio held every frame for the delay; only the Source's port
    // stamping its copy late can make a transit look shorter.
    EXPECT_GE(*fastest, std::chrono::duration<double>(link.delay).count() - 0.25);
    for (const sLinkFigures& figures : types) {
        const std::vector<double>& ofType = transits.at(KeyType(figures.key));
        const auto [least, most] = std::minmax_element(ofType.begin(), ofType.end());
        if (ContentNeverChanges(KeyType(figures.key))) {
            // Equal frames are told apart by the link's delay alone: each is
            // timed by the sending whose transit is closest to the delay that
            // frames of changing content show, never further off than the
            // spread of those.
            EXPECT_GE(figures.latencyMinS, *fastest - spread - 1e-3) << figures.name;
            EXPECT_LE(figures.latencyMaxS, *slowest + spread + 1e-3) << figures.name;
        } else {
            // Each frame timed by its own sending: a neighbour is a period off.
            EXPECT_NEAR(figures.latencyMinS, *least, 1e-6) << figures.name;
            EXPECT_NEAR(figures.latencyMaxS, *most, 1e-6) << figures.name;
            EXPECT_NEAR(figures.latencySumS, std::accumulate(ofType.begin(), ofType.end(), 0.0), 1e-6 * ofType.size())
                << figures.name;
        }
    }
}

TEST(DelayedLinkWindowTest, FramesSlowerThanTheMatchWindowAreUnmatchedAndTheirSendingsMissed)
{
    sDelayedLink link(eTransport::Tcp, 1000ms);
    // Short of the delay by more than the ports of a sanitized build can add.
    link.listener.statistics.SetMatchWindow(0.3);
    // The peer stops before the first frame arrives: a frame whose content
    // never changes would match a later sending of itself inside the window.
    ASSERT_TRUE(link.Run(600ms));
    for (const sLinkFigures& figures : MeasureLink(link.snapshot, false)) {
        const sSendings& sendings = link.sendings.at(KeyType(figures.key));
        EXPECT_EQ(figures.received, sendings.Delivered()) << figures.name;
        EXPECT_EQ(figures.matched, 0u) << figures.name;
        EXPECT_EQ(figures.unmatched, sendings.Delivered()) << figures.name;
        EXPECT_EQ(figures.missed, sendings.Sent()) << figures.name << ": all sent longer ago than the window";
        EXPECT_EQ(figures.inFlight, 0u) << figures.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, DelayedLinkTest,
    ::testing::Values(sDelayCase{"Udp450ms", eTransport::Udp, 450ms}, sDelayCase{"Udp5s", eTransport::Udp, 5000ms},
                      sDelayCase{"Tcp2500ms", eTransport::Tcp, 2500ms}, sDelayCase{"Tcp5s", eTransport::Tcp, 5000ms},
                      sDelayCase{"Pty450ms", eTransport::Pty, 450ms}, sDelayCase{"Pty5s", eTransport::Pty, 5000ms}),
    testing::CaseName<sDelayCase>);

}  // namespace
}  // namespace TolvarRT
