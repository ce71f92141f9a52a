// Links that hold every frame for many frame periods, over real ports: a peer
// plays the base receiver and the radio at once, writing each RTCM v3 frame
// to the Source's port at once and to the Listener's port after a fixed
// delay, dropping the frames the test chose. At 20 Hz and a 5 s delay a
// hundred frames of each type are in flight at any time; some types never
// change their content, so only the delay tells their frames apart. Once the
// link has drained, every type must read received = matched = delivered,
// missed = dropped, unmatched 0, with the latency the peer injected.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
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

struct sTypeCount {
    std::uint64_t sent = 0;
    std::uint64_t dropped = 0;
    std::uint64_t Delivered() const { return sent - dropped; }
};

// Sends the epochs of sendFor at 20 Hz on absolute due times, through the
// delay line to the Listener; what it sent and dropped per type.
std::map<unsigned, sTypeCount> SendEpochs(LinkEnds& ends, testing::CDelayLine& radio,
                                          std::chrono::milliseconds sendFor)
{
    std::map<unsigned, sTypeCount> counts;
    auto due = std::chrono::steady_clock::now();
    for (unsigned epoch = 0; epoch < unsigned(sendFor / kEpoch); ++epoch) {
        std::this_thread::sleep_until(due);
        for (sPlannedFrame& frame : Epoch(epoch)) {
            sTypeCount& count = counts[frame.type];
            ++count.sent;
            ends.ToSource(frame.bytes);
            if (frame.dropped)
                ++count.dropped;
            else
                radio.Push(std::move(frame.bytes));
        }
        due += kEpoch;
    }
    return counts;
}

std::uint64_t Frames(const std::vector<PacketStats>& records)
{
    std::uint64_t frames = 0;
    for (const PacketStats& record : records)
        frames += record.frames;
    return frames;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The port threads of a sanitized build run several times slower.
constexpr double kPortSlackS = 0.25;
#else
// What the two ports' reader threads may add to or take from a transit.
constexpr double kPortSlackS = 0.025;
#endif

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

class DelayedLinkTest : public ::testing::TestWithParam<sDelayCase> {};

TEST_P(DelayedLinkTest, EveryDeliveredFrameIsMatchedAndEveryDroppedOneMissedOnceTheLinkHasDrained)
{
    const sDelayCase& link = GetParam();
    const std::unique_ptr<LinkEnds> ends = MakeEnds(link.transport);
    Rtcm3Endpoint source(true);
    Rtcm3Endpoint listener;
    listener.statistics.SetSource(&source.statistics);
    ASSERT_TRUE(ends->Open(source, listener));
    testing::CDelayLine radio(link.delay, [&](const Bytes& frame) { ends->ToListener(frame); });

    const std::map<unsigned, sTypeCount> counts =
        SendEpochs(*ends, radio, link.delay + std::chrono::milliseconds(kSendingBeyondDelay));
    std::uint64_t sent = 0, delivered = 0;
    for (const auto& [type, count] : counts) {
        sent += count.sent;
        delivered += count.Delivered();
    }
    ASSERT_TRUE(radio.WaitDrained(link.delay + 20s));
    ASSERT_TRUE(testing::WaitUntil([&] {
        const sStatsSnapshot snapshot = listener.statistics.Snapshot();
        return Frames(snapshot.sourceRecords) == sent && Frames(snapshot.records) == delivered;
    })) << "the Source counts every frame sent, the Listener every frame delivered";
    const sStatsSnapshot snapshot = listener.statistics.Snapshot();

    // Still running, the frames the radio dropped are in flight: the Source
    // sent them less than the match horizon ago.
    for (const sLinkFigures& figures : MeasureLink(snapshot, false)) {
        const sTypeCount& count = counts.at(KeyType(figures.key));
        EXPECT_EQ(figures.inFlight, count.dropped) << figures.name;
        EXPECT_EQ(figures.missed, 0u) << figures.name;
    }

    const double delayS = std::chrono::duration<double>(link.delay).count();
    const double relayS = std::chrono::duration<double>(radio.WorstLateness()).count();
    const std::vector<sLinkFigures> types = MeasureLink(snapshot, true);
    ASSERT_EQ(types.size(), counts.size());
    for (const sLinkFigures& figures : types) {
        const sTypeCount& count = counts.at(KeyType(figures.key));
        EXPECT_EQ(figures.sent, count.sent) << figures.name;
        EXPECT_EQ(figures.received, count.Delivered()) << figures.name;
        EXPECT_EQ(figures.matched, count.Delivered()) << figures.name;
        EXPECT_EQ(figures.missed, count.dropped) << figures.name;
        EXPECT_EQ(figures.unmatched, 0u) << figures.name;
        EXPECT_EQ(figures.inFlight, 0u) << figures.name;
        // A frame matched with a neighbour of its own is a whole period off.
        EXPECT_GE(figures.latencyMinS, delayS - kPortSlackS) << figures.name;
        EXPECT_LE(figures.latencyMaxS, delayS + relayS + kPortSlackS) << figures.name;
    }
    EXPECT_GT(counts.at(1005).dropped, 0u) << "the case drops frames of a type whose content never changes";
    ends->Close(source, listener);
}

INSTANTIATE_TEST_SUITE_P(Transports, DelayedLinkTest,
                         ::testing::Values(sDelayCase{"Udp450ms", eTransport::Udp, 450ms},
                                           sDelayCase{"Udp5s", eTransport::Udp, 5000ms},
                                           sDelayCase{"Tcp2500ms", eTransport::Tcp, 2500ms},
                                           sDelayCase{"Tcp5s", eTransport::Tcp, 5000ms},
                                           sDelayCase{"Pty450ms", eTransport::Pty, 450ms},
                                           sDelayCase{"Pty5s", eTransport::Pty, 5000ms}),
                         testing::CaseName<sDelayCase>);

}  // namespace
}  // namespace TolvarRT
