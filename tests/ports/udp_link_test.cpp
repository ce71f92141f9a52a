// The UDP link protocol on a driven clock: handshake, numbering, reordering,
// gaps, keep-alives, answers and the receive pool.
#include <gtest/gtest.h>

#include <cstring>

#include "ports/network/udp_link.h"
#include "udp_peer.h"

namespace TolvarRT {
namespace {

using testing::Bytes;
using testing::MakeDatagram;
using testing::ReadHeader;
using State = CUDPLink::State;

class RecordingSender : public IUDPDatagramSender {
public:
    void SendDatagram(const std::uint8_t* data, std::size_t length) override { sent.emplace_back(data, data + length); }
    std::vector<Bytes> sent;
};

// A datagram of `size` bytes (header included) whose payload bytes all carry
// its sequence / 100, to tell deliveries apart.
Bytes Numbered(std::uint32_t sequence, std::size_t size = 100, std::uint8_t linkId = 7)
{
    return MakeDatagram(kUdpData, linkId, sequence, Bytes(size - 8, std::uint8_t(sequence / 100)));
}

class UdpLinkTest : public ::testing::Test {
protected:
    TimeStamp At(double seconds) const { return TimeStamp(seconds / SecondsBetween(1, 0)); }

    void Feed(const Bytes& datagram, double seconds)
    {
        const int slot = link.AcquireBuffer(At(seconds));
        ASSERT_GE(slot, 0);
        std::memcpy(link.Buffer(slot), datagram.data(), std::min(datagram.size(), CUDPLink::kBufferSize));
        link.OnReceived(slot, std::ptrdiff_t(datagram.size()), At(seconds));
    }

    // What the callback would get, one marker byte per payload.
    std::vector<int> Delivered()
    {
        sUDPPayload ready[CUDPLink::kPoolSize];
        const int count = link.TakeReady(ready);
        std::vector<int> markers;
        for (int k = 0; k < count; ++k) {
            markers.push_back(ready[k].length > 0 ? ready[k].data[0] : -1);
            link.Release(ready[k].slot);
        }
        return markers;
    }

    // Connected with link id 7; the accept carries sequence `acceptSequence`,
    // which becomes the expected sequence.
    void Connected(std::uint32_t acceptSequence = 0, double seconds = 0)
    {
        link.Connect(At(seconds));
        Feed(MakeDatagram(kUdpConnectAccepted, 7, acceptSequence), seconds);
        ASSERT_EQ(link.GetState(), State::Connected);
        sender.sent.clear();
    }

    std::vector<std::uint8_t> SentTypes() const
    {
        std::vector<std::uint8_t> types;
        for (const Bytes& datagram : sender.sent)
            types.push_back(ReadHeader(datagram).type);
        return types;
    }

    RecordingSender sender;
    CUDPLink link{sender};
};

TEST_F(UdpLinkTest, HandshakeClosesOnARefusalAndConnectsOnAnAcceptWithALinkId)
{
    link.Connect(At(0));
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(sender.sent[0], MakeDatagram(kUdpConnectRequest, 0, 8));
    EXPECT_EQ(link.GetState(), State::Connecting);
    Feed(MakeDatagram(kUdpConnectAccepted, 0, 8), 0);  // link id 0 is no accept
    EXPECT_EQ(link.GetState(), State::Connecting);
    Feed(MakeDatagram(kUdpConnectRefused, 0, 8), 0);
    EXPECT_EQ(link.GetState(), State::Closed);

    link.Connect(At(1));
    Feed(MakeDatagram(kUdpConnectAccepted, 9, 16), 1);
    EXPECT_EQ(link.GetState(), State::Connected);
    EXPECT_EQ(link.LinkId(), 9);
    EXPECT_EQ(link.ExpectedSequence(), 16u);
}

TEST_F(UdpLinkTest, OutOfOrderDatagramsAreDeliveredInOrderAndRepeatsDiscarded)
{
    Connected();
    Feed(Numbered(100), 0);
    Feed(Numbered(100), 0);  // after delivery
    Feed(Numbered(300), 0);
    Feed(Numbered(300), 0);  // while its first copy is held
    EXPECT_EQ(link.HeldCount(), 1);
    Feed(Numbered(200), 0);
    EXPECT_EQ(Delivered(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(link.ExpectedSequence(), 300u);
    EXPECT_EQ(link.FreeCount(), CUDPLink::kPoolSize);  // every buffer back, repeats' too
}

TEST_F(UdpLinkTest, AGapIsGivenUpAfterAThirdOfASecondWithoutTraffic)
{
    Connected(0, 10.0);
    Feed(Numbered(100), 10.0);
    Feed(Numbered(300), 10.0);  // 200 is missing
    link.OnTimer(At(10.3));
    EXPECT_EQ(Delivered(), (std::vector<int>{1}));
    EXPECT_GT(link.MillisecondsToDeadline(At(10.3)), 0);
    EXPECT_LE(link.MillisecondsToDeadline(At(10.3)), 40);
    link.OnTimer(At(10.34));
    EXPECT_EQ(Delivered(), (std::vector<int>{3}));
    // The missing one turns up too late and is old now.
    Feed(Numbered(200), 10.4);
    EXPECT_TRUE(Delivered().empty());
    Feed(Numbered(400), 10.4);
    EXPECT_EQ(Delivered(), (std::vector<int>{4}));
}

TEST_F(UdpLinkTest, AGapIsGivenUpWhenMoreThanFiveAreHeldAheadOfANewOne)
{
    Connected();
    for (std::uint32_t sequence = 200; sequence <= 700; sequence += 100)
        Feed(Numbered(sequence), 0);
    // Five ahead of 700 was still acceptable.
    EXPECT_EQ(link.HeldCount(), 6);
    EXPECT_TRUE(Delivered().empty());
    Feed(Numbered(800), 0);  // six ahead of it
    EXPECT_EQ(Delivered(), (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(link.HeldCount(), 0);
}

TEST_F(UdpLinkTest, ADatagramThatSortsInFrontIsAlwaysHeld)
{
    Connected();
    for (std::uint32_t sequence = 1600; sequence >= 1000; sequence -= 200)
        Feed(Numbered(sequence), 0);
    EXPECT_EQ(link.HeldCount(), 4);
    EXPECT_TRUE(Delivered().empty());
}

// Regression test for a pool that could end with every buffer held.
TEST_F(UdpLinkTest, AFullPoolGivesUpTheOldestGapInsteadOfGoingDeaf)
{
    Connected();
    // Eight datagrams, each with a gap before it and each sorting in front.
    for (std::uint32_t sequence = 1600; sequence >= 200; sequence -= 200)
        Feed(Numbered(sequence), 0);
    ASSERT_EQ(link.HeldCount(), CUDPLink::kPoolSize);
    ASSERT_EQ(link.FreeCount(), 0);
    // The lowest one goes to the callback first; its buffer is free after.
    EXPECT_LT(link.AcquireBuffer(At(0)), 0);
    EXPECT_EQ(Delivered(), (std::vector<int>{2}));
    Feed(Numbered(300), 0);  // fills the gap after it
    EXPECT_EQ(Delivered(), (std::vector<int>{3, 4}));
    EXPECT_EQ(link.HeldCount(), 6);
}

TEST_F(UdpLinkTest, SequencesWrapAround)
{
    Connected(0xFFFFFF80u);
    Feed(Numbered(0xFFFFFF80u + 100, 100), 0);
    Feed(Numbered(0xFFFFFF80u + 300, 100), 0);
    Feed(Numbered(0xFFFFFF80u + 200, 100), 0);
    EXPECT_EQ(Delivered().size(), 3u);
    EXPECT_EQ(link.ExpectedSequence(), 0xFFFFFF80u + 300);
}

struct BadDatagram {
    const char* what;
    Bytes datagram;
    std::ptrdiff_t length;  // as the receive reports it
};

TEST_F(UdpLinkTest, UnusableDatagramsAreDiscarded)
{
    Bytes shortHeader = Numbered(100);
    shortHeader[0] = 7;
    Bytes headerPastTheEnd = MakeDatagram(kUdpData, 7, 9);
    headerPastTheEnd.push_back(0);
    headerPastTheEnd[0] = 10;
    const BadDatagram cases[] = {
        {"shorter than a header", Bytes(7, 0), 7},
        {"nothing arrived", Bytes{}, -1},
        {"header length below 8", shortHeader, 100},
        {"header longer than the datagram", headerPastTheEnd, 9},
        {"cut off by the receive", Numbered(1600, 1500), 1501},
        {"another link", Numbered(100, 100, 8), 100},
    };
    Connected();
    for (const BadDatagram& c : cases) {
        const int slot = link.AcquireBuffer(At(0));
        ASSERT_GE(slot, 0);
        std::copy(c.datagram.begin(), c.datagram.end(), link.Buffer(slot));
        link.OnReceived(slot, c.length, At(0));
        EXPECT_TRUE(Delivered().empty()) << c.what;
        EXPECT_EQ(link.FreeCount(), CUDPLink::kPoolSize) << c.what;
        EXPECT_EQ(link.ExpectedSequence(), 0u) << c.what;
    }
}

TEST_F(UdpLinkTest, ALargerHeaderMovesThePayload)
{
    Connected();
    Bytes datagram = MakeDatagram(kUdpData, 7, 12, {0xEE, 0xEE, 0x05, 0x06});
    datagram[0] = 10;
    Feed(datagram, 0);
    sUDPPayload ready[CUDPLink::kPoolSize];
    ASSERT_EQ(link.TakeReady(ready), 1);
    EXPECT_EQ(Bytes(ready[0].data, ready[0].data + ready[0].length), (Bytes{0x05, 0x06}));
}

TEST_F(UdpLinkTest, SendNumbersEveryByteAndDropsOversizedPayloads)
{
    Connected();
    const Bytes big(1401, 0x55);
    EXPECT_FALSE(link.Send(kUdpData, big.data(), big.size(), At(0)));
    EXPECT_TRUE(sender.sent.empty());
    EXPECT_TRUE(link.Send(kUdpData, big.data(), 1400, At(0)));
    EXPECT_TRUE(link.Send(kUdpData, big.data(), 2, At(0)));
    ASSERT_EQ(sender.sent.size(), 2u);
    EXPECT_EQ(sender.sent[0].size(), 1408u);
    // The connect request counted 8 bytes.
    EXPECT_EQ(ReadHeader(sender.sent[0]).sequence, 8u + 1408u);
    EXPECT_EQ(ReadHeader(sender.sent[1]).sequence, 8u + 1408u + 10u);
    EXPECT_EQ(ReadHeader(sender.sent[1]).linkId, 7);
    EXPECT_EQ(ReadHeader(sender.sent[1]).type, kUdpData);
}

TEST_F(UdpLinkTest, KeepAlivesComeAtGrowingIntervalsOfSilence)
{
    Connected(0, 100.0);
    EXPECT_EQ(link.MillisecondsToDeadline(At(100.0)), 15001);
    std::vector<double> sentAt;
    for (double t = 100.0; t < 129.0; t += 0.01) {
        const std::size_t before = sender.sent.size();
        link.OnTimer(At(t));
        if (sender.sent.size() > before)
            sentAt.push_back(t - 100.0);
    }
    ASSERT_EQ(sentAt.size(), 3u);
    EXPECT_NEAR(sentAt[0], 15.0, 0.02);
    EXPECT_NEAR(sentAt[1], 20.0, 0.02);
    EXPECT_NEAR(sentAt[2], 25.0, 0.02);
    EXPECT_EQ(SentTypes(), (std::vector<std::uint8_t>(3, kUdpKeepAlive)));
    EXPECT_EQ(link.KeepAliveInterval(), 30u);
    // Any datagram from the peer starts the count afresh.
    Feed(MakeDatagram(kUdpKeepAliveAnswer, 7, 8), 131.0);
    EXPECT_EQ(link.KeepAliveInterval(), 15u);
}

TEST_F(UdpLinkTest, DataAfterASilenceGoesOutAsAKeepAlive)
{
    Connected();
    const std::uint8_t byte = 0x33;
    link.Send(kUdpData, &byte, 1, At(16.0));
    link.Send(kUdpData, &byte, 1, At(17.0));
    EXPECT_EQ(SentTypes(), (std::vector<std::uint8_t>{kUdpKeepAlive, kUdpData}));
    EXPECT_EQ(sender.sent[0].back(), 0x33);
    EXPECT_EQ(link.KeepAliveInterval(), 20u);
}

struct AnswerCase {
    std::uint8_t received;
    std::uint8_t answer;  // 0xFF: none
    State after;
};

TEST_F(UdpLinkTest, RequestsOfThePeerAreAnswered)
{
    const AnswerCase cases[] = {
        {kUdpBreakRequest, kUdpBreakAck, State::Connected},
        {kUdpKeepAlive, kUdpKeepAliveAnswer, State::Connected},
        {kUdpBreakAck, 0xFF, State::Connected},
        {kUdpKeepAliveAnswer, 0xFF, State::Connected},
        {kUdpDisconnect, kUdpDisconnectAck, State::Closed},
    };
    for (const AnswerCase& c : cases) {
        Connected();
        Feed(MakeDatagram(c.received, 7, 8), 0);
        if (c.answer == 0xFF) {
            EXPECT_TRUE(sender.sent.empty()) << int(c.received);
        } else {
            ASSERT_EQ(sender.sent.size(), 1u) << int(c.received);
            EXPECT_EQ(ReadHeader(sender.sent[0]).type, c.answer);
            EXPECT_EQ(ReadHeader(sender.sent[0]).linkId, 7);
            EXPECT_EQ(sender.sent[0].size(), 8u);
        }
        EXPECT_EQ(link.GetState(), c.after) << int(c.received);
    }
}

TEST_F(UdpLinkTest, AReconnectDemandStartsANewConnection)
{
    Connected();
    Feed(Numbered(100), 0);
    Feed(Numbered(300), 0);  // held, and dropped with the old connection
    Delivered();
    Feed(MakeDatagram(kUdpReconnectDemand, 7, 108), 0);
    EXPECT_EQ(link.GetState(), State::Connecting);
    EXPECT_EQ(link.LinkId(), 0);
    EXPECT_EQ(link.HeldCount(), 0);
    EXPECT_EQ(SentTypes(), (std::vector<std::uint8_t>{kUdpConnectRequest}));
    // The peer numbers the new connection from the start again.
    Feed(MakeDatagram(kUdpConnectAccepted, 4, 8), 0);
    EXPECT_EQ(link.GetState(), State::Connected);
    EXPECT_EQ(link.LinkId(), 4);
    Feed(Numbered(108, 100, 4), 0);
    EXPECT_EQ(Delivered(), (std::vector<int>{1}));
}

TEST_F(UdpLinkTest, AReconnectDemandWithoutALinkIdIsIgnoredAndAnUnansweredOneAskedAgain)
{
    Connected();
    Feed(MakeDatagram(kUdpReconnectDemandToo, 0, 8), 0);  // another link: discarded
    EXPECT_EQ(link.GetState(), State::Connected);
    Feed(MakeDatagram(kUdpReconnectDemandToo, 7, 8), 0);
    EXPECT_EQ(link.GetState(), State::Connecting);
    // Regression test for a link left deaf when its connect request was lost.
    sender.sent.clear();
    link.OnTimer(At(15.01));
    EXPECT_EQ(SentTypes(), (std::vector<std::uint8_t>{kUdpConnectRequest}));
}

TEST_F(UdpLinkTest, DisconnectWaitsForItsAcknowledgement)
{
    Connected();
    EXPECT_TRUE(link.BeginDisconnect(At(0)));
    link.RepeatDisconnect(At(0.5));
    EXPECT_EQ(SentTypes(), (std::vector<std::uint8_t>{kUdpDisconnect, kUdpDisconnect}));
    EXPECT_EQ(link.GetState(), State::Closing);
    Feed(Numbered(100), 0.6);  // data while closing goes nowhere
    EXPECT_TRUE(Delivered().empty());
    Feed(MakeDatagram(kUdpDisconnectAck, 7, 108), 0.6);
    EXPECT_EQ(link.GetState(), State::Closed);
    EXPECT_FALSE(link.BeginDisconnect(At(1)));
}

}  // namespace
}  // namespace TolvarRT
