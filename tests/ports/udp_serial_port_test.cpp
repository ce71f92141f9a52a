// The UDP port against a loopback peer that plays the converter's side of
// the link by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>

#include "case_name.h"
#include "open_failures.h"
#include "port_collector.h"
#include "ports/network/udp_serial_port.h"
#include "udp_peer.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::ReadHeader;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kLink = 5;

class UdpSerialPortTest : public ::testing::Test {
protected:
    std::string Name() const { return "UDP:127.0.0.1:" + std::to_string(peer.Port()); }

    // Opens the port while the peer answers the connect request with answer.
    bool OpenAnswering(std::uint8_t answer, std::uint8_t linkId = kLink)
    {
        auto opened = std::async(std::launch::async, [this] { return port.Open(Name().c_str()); });
        Bytes request;
        EXPECT_TRUE(peer.Receive(request));
        EXPECT_EQ(request, testing::MakeDatagram(kUdpConnectRequest, 0, 8));
        peer.Send(answer, linkId);
        return opened.get();
    }

    void OpenAndStart()
    {
        ASSERT_TRUE(OpenAnswering(kUdpConnectAccepted));
        ASSERT_TRUE(port.Configure(PortSettings{}));
        port.StartThread();
    }

    // A data datagram numbered as if the peer had sent `skipped` bytes more.
    void SendData(const Bytes& payload, std::uint32_t skipped = 0)
    {
        peer.sentTotal += skipped;
        peer.Send(kUdpData, kLink, payload);
    }

    // Closes while the peer acknowledges the disconnect.
    bool CloseAnswering(std::uint8_t linkId = kLink)
    {
        std::thread answering([this, linkId] {
            Bytes datagram;
            if (peer.ReceiveType(kUdpDisconnect, datagram, 3s))
                peer.Send(kUdpDisconnectAck, linkId);
        });
        const bool closed = port.Close();
        answering.join();
        return closed;
    }

    void TearDown() override
    {
        if (port.IsConnected())
            CloseAnswering();
    }

    static OwnedPortBuffer Buffer(const Bytes& bytes) { return std::make_unique<PortBuffer>(bytes); }

    testing::CUdpPeer peer;
    testing::PortCollector collector;
    CUDPSerialPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
};

TEST_F(UdpSerialPortTest, RefusalFailsTheOpen)
{
    EXPECT_FALSE(OpenAnswering(kUdpConnectRefused, 0));
    EXPECT_EQ(port.FailureReason(), "the peer refused the connection");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
}

// Regression test for an Open that waited for the accept for ever.
TEST_F(UdpSerialPortTest, AnAcceptThatNeverComesFailsTheOpen)
{
    port.SetAcceptTimeout(400ms);
    const auto start = Clock::now();
    EXPECT_FALSE(port.Open(Name().c_str()));
    EXPECT_GE(Clock::now() - start, 400ms);
    EXPECT_EQ(port.FailureReason(), "no answer from the peer within 400 ms");
    EXPECT_FALSE(port.IsOpen());
    Bytes request;
    EXPECT_TRUE(peer.Receive(request));
    EXPECT_EQ(ReadHeader(request).type, kUdpConnectRequest);
}

// The request is lost and would not be repeated before a keep-alive
// interval: waiting out the accept time-out cannot help.
TEST_F(UdpSerialPortTest, NothingListeningFailsAtOnce)
{
    const std::uint16_t closedPort = [] {
        testing::CUdpPeer gone;
        return gone.Port();
    }();
    port.SetAcceptTimeout(60s);
    const auto start = Clock::now();
    EXPECT_FALSE(port.Open(("UDP:127.0.0.1:" + std::to_string(closedPort)).c_str()));
    EXPECT_LT(Clock::now() - start, 30s);
    EXPECT_EQ(port.FailureReason(), "Connection refused");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(UdpSerialPortTest, BadNamesFail)
{
    testing::ExpectOpenFailures(port, {
                                          {"UDP:127.0.0.1:0", "the port is not a number from 1 to 65535"},
                                          {"udp:127.0.0.1:99999", "the port is not a number from 1 to 65535"},
                                          {"UDP:", "not a host:port address"},
                                          {"TCP:127.0.0.1:4044", "does not start with UDP:"},
                                      });
    EXPECT_FALSE(port.Configure(PortSettings{}));
    EXPECT_EQ(port.FailureReason(), "not open");
}

TEST_F(UdpSerialPortTest, BytesGoBothWaysAndOversizedPayloadsAreNotSent)
{
    OpenAndStart();
    SendData({1, 2, 3});
    SendData({4});
    ASSERT_TRUE(collector.WaitFor(4));
    EXPECT_EQ(collector.Chunks(), (std::vector<Bytes>{{1, 2, 3}, {4}}));

    port.QueueWrite(Buffer({9, 8, 7}));
    port.QueueWriteFirst(Buffer({6}));
    Bytes datagram;
    ASSERT_TRUE(peer.ReceiveType(kUdpData, datagram));
    EXPECT_EQ(datagram, testing::MakeDatagram(kUdpData, kLink, 8 + 11, {9, 8, 7}));
    ASSERT_TRUE(peer.ReceiveType(kUdpData, datagram));
    EXPECT_EQ(datagram, testing::MakeDatagram(kUdpData, kLink, 8 + 11 + 9, {6}));

    // Payloads over 1400 bytes are not sent.
    port.QueueWrite(Buffer(Bytes(1401, 1)));
    port.QueueWrite(Buffer(Bytes(1400, 2)));
    ASSERT_TRUE(peer.ReceiveType(kUdpData, datagram));
    EXPECT_EQ(datagram.size(), 1408u);
    EXPECT_EQ(datagram.back(), 2);
    EXPECT_EQ(ReadHeader(datagram).sequence, 8u + 11 + 9 + 1408);
}

TEST_F(UdpSerialPortTest, AGapNeverFilledIsGivenUpAfterAThirdOfASecond)
{
    OpenAndStart();
    const auto start = Clock::now();
    SendData({0x77}, 50);  // 50 bytes are missing before it
    ASSERT_TRUE(collector.WaitFor(1));
    EXPECT_GE(Clock::now() - start, 330ms);
    SendData({0x78});
    ASSERT_TRUE(collector.WaitFor(2));
    EXPECT_EQ(collector.Received(), (Bytes{0x77, 0x78}));
}

TEST_F(UdpSerialPortTest, BreakRequestsGoBothWays)
{
    OpenAndStart();
    port.SendBreak(250);
    Bytes datagram;
    ASSERT_TRUE(peer.ReceiveType(kUdpBreakRequest, datagram));
    EXPECT_EQ(datagram.size(), 8u);
    peer.Send(kUdpBreakRequest, kLink);
    ASSERT_TRUE(peer.ReceiveType(kUdpBreakAck, datagram));
    peer.Send(kUdpKeepAlive, kLink);
    ASSERT_TRUE(peer.ReceiveType(kUdpKeepAliveAnswer, datagram));
    EXPECT_EQ(ReadHeader(datagram).linkId, kLink);
}

TEST_F(UdpSerialPortTest, AReconnectDemandIsFollowedThrough)
{
    OpenAndStart();
    peer.Send(kUdpReconnectDemand, kLink);
    Bytes datagram;
    ASSERT_TRUE(peer.ReceiveType(kUdpConnectRequest, datagram));
    ASSERT_TRUE(testing::WaitUntil([&] { return !port.IsConnected(); }));
    port.QueueWrite(Buffer({1}));  // dropped: not connected
    // The peer starts the new connection's numbering from 0 again.
    peer.sentTotal = 0;
    peer.Send(kUdpConnectAccepted, 6);
    ASSERT_TRUE(testing::WaitUntil([&] { return port.IsConnected(); }));
    EXPECT_EQ(port.LinkId(), 6);
    peer.Send(kUdpData, 6, {0x5A});
    ASSERT_TRUE(collector.WaitFor(1));
    EXPECT_EQ(collector.Received(), (Bytes{0x5A}));
    port.QueueWrite(Buffer({2}));
    ASSERT_TRUE(peer.ReceiveType(kUdpData, datagram));
    EXPECT_EQ(ReadHeader(datagram).linkId, 6);
    EXPECT_EQ(datagram.back(), 2);
    EXPECT_TRUE(CloseAnswering(6));
}

TEST_F(UdpSerialPortTest, HandshakeAdoptsTheLinkIdAndCloseSaysGoodbyeAndStopsAtTheAcknowledgement)
{
    OpenAndStart();
    EXPECT_EQ(port.FailureReason(), "");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.LinkId(), kLink);
    EXPECT_FALSE(port.Open(Name().c_str()));  // already open
    EXPECT_TRUE(CloseAnswering());
    EXPECT_FALSE(port.IsOpen());
    // Acknowledged: no second disconnect follows.
    Bytes datagram;
    EXPECT_FALSE(peer.ReceiveType(kUdpDisconnect, datagram, 1s));
    EXPECT_FALSE(port.Close());
}

TEST_F(UdpSerialPortTest, CloseAsksTwiceWhenThePeerIsSilent)
{
    OpenAndStart();
    const auto start = Clock::now();
    EXPECT_TRUE(port.Close());
    EXPECT_GE(Clock::now() - start, 500ms);
    Bytes datagram;
    ASSERT_TRUE(peer.ReceiveType(kUdpDisconnect, datagram, 1s));
    ASSERT_TRUE(peer.ReceiveType(kUdpDisconnect, datagram, 1s));
}

TEST_F(UdpSerialPortTest, APeerDisconnectIsAcknowledged)
{
    OpenAndStart();
    peer.Send(kUdpDisconnect, kLink);
    Bytes datagram;
    ASSERT_TRUE(peer.ReceiveType(kUdpDisconnectAck, datagram));
    EXPECT_TRUE(port.IsOpen());  // the port stays open; only the link is gone
    EXPECT_TRUE(port.Close());
    // No goodbye is owed to a peer that has left.
    EXPECT_FALSE(peer.ReceiveType(kUdpDisconnect, datagram, 700ms));
}

// The link's ordering rules are pinned on a driven clock in udp_link_test.cpp;
// these rows check that the port passes every datagram from the socket
// through the link and hands on what the link releases, in the link's order.
struct sDeliveryCase {
    const char* what;
    // Each datagram carries 92 bytes of its marker and ends this many bytes
    // past the accept (its sequence number, relative).
    std::vector<std::pair<std::uint32_t, std::uint8_t>> sent;
    std::vector<int> delivered;  // the markers, chunk by chunk
};

class UdpSerialPortDeliveryTest : public UdpSerialPortTest, public ::testing::WithParamInterface<sDeliveryCase> {};

TEST_P(UdpSerialPortDeliveryTest, DatagramsAreHandedOnInTheLinksOrder)
{
    OpenAndStart();
    const std::uint32_t base = peer.sentTotal;  // the accept took the peer's first 8 bytes
    for (const auto& [end, marker] : GetParam().sent) {
        peer.sentTotal = base + end - 100;
        SendData(Bytes(92, marker));
    }
    // Numbered past the last byte sent, or the disconnect's acknowledgement
    // would look old to the link and the close wait for it in vain.
    std::uint32_t last = 0;
    for (const auto& [end, marker] : GetParam().sent)
        last = std::max(last, end);
    peer.sentTotal = base + last;
    // Waits for the last marker, so that a chunk delivered twice or out of
    // turn is seen before it.
    const auto markers = [this] {
        std::vector<int> seen;
        for (const Bytes& chunk : collector.Chunks())
            seen.push_back(chunk.empty() ? -1 : chunk[0]);
        return seen;
    };
    ASSERT_TRUE(testing::WaitUntil([&] {
        const std::vector<int> seen = markers();
        return !seen.empty() && seen.back() == GetParam().delivered.back();
    }));
    EXPECT_EQ(markers(), GetParam().delivered);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UdpSerialPortDeliveryTest,
    ::testing::Values(
        sDeliveryCase{"out of order", {{100, 1}, {300, 3}, {200, 2}}, {1, 2, 3}},
        sDeliveryCase{"a repeat", {{100, 1}, {100, 1}, {200, 2}}, {1, 2}},
        // Regression test for a receive pool that could end with every buffer
        // held: eight datagrams, each with a gap before it and each sorting
        // in front of the ones held already, then two more.
        sDeliveryCase{
            "a full pool",
            {{1600, 8}, {1400, 7}, {1200, 6}, {1000, 5}, {800, 4}, {600, 3}, {400, 2}, {200, 1}, {1700, 9}, {1800, 10}},
            {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}),
    testing::CaseName<sDeliveryCase>);

}  // namespace
}  // namespace TolvarRT
