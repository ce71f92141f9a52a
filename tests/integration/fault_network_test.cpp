// Network peers that fail the way they do in the field, with the decoder and
// the statistics of a Listener behind the port: a TCP peer killed in the
// middle of a frame and started again, and a UDP peer that falls silent and
// comes back. Every frame the peer delivered whole must be counted once; the
// frame cut in half and the ones the network lost must not be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_recorder.h"
#include "ports/network/udp_link.h"
#include "rtcm3_endpoint.h"
#include "tcp_server.h"
#include "udp_peer.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::NumberedRtcm3Frame;
using testing::NumberedRtcm3Frames;
using testing::Rtcm3Endpoint;
using testing::WaitUntil;

std::vector<unsigned> Numbers(std::initializer_list<std::pair<unsigned, unsigned>> ranges)
{
    std::vector<unsigned> numbers;
    for (const auto& [first, end] : ranges)
        for (unsigned number = first; number < end; ++number)
            numbers.push_back(number);
    return numbers;
}

TEST(FaultNetworkTest, ATcpPeerKilledInTheMiddleOfAFrameCostsThatFrameAloneOnceItIsBack)
{
    testing::CTcpServer server;
    ASSERT_TRUE(server.Listen());
    const std::uint16_t number = server.Port();
    Rtcm3Endpoint listener;
    testing::LogRecorder log(&listener.logPipe, kLogBasic);
    const std::string name = "TCP:127.0.0.1:" + std::to_string(number);
    ASSERT_TRUE(listener.pipe.OpenPort({name}));
    ASSERT_TRUE(server.Accept());

    const Bytes before = NumberedRtcm3Frames(0, 10);
    ASSERT_TRUE(server.Send(before));
    // Half of a long frame, whose length runs far into what comes after the
    // reconnect.
    const Bytes cut = testing::rtcm3_reference::Frame(1077, 400, 0, 99);
    ASSERT_TRUE(server.Send(Bytes(cut.begin(), cut.begin() + 120)));
    ASSERT_TRUE(WaitUntil([&] { return listener.bytes.Total() == before.size() + 120; }));
    server.Stop();

    ASSERT_TRUE(server.Listen(number));
    ASSERT_TRUE(server.Accept(20s));
    ASSERT_TRUE(server.Send(NumberedRtcm3Frames(10, 30)));
    ASSERT_TRUE(listener.WaitForFrames(30));
    // The last frames are in: anything more would have been counted with them.
    EXPECT_EQ(listener.frames.Payloads(), Rtcm3Endpoint::Expected(Numbers({{0, 30}})));
    EXPECT_EQ(listener.CountedFrames(), 30u);
    EXPECT_EQ(log.Count(name + ": the connection was lost; reconnecting"), 1u);
    EXPECT_EQ(log.Count(name + ": connected again"), 1u);
}

constexpr std::uint8_t kLink = 9;

// The converter's side of a UDP link: accepts the port and sends it frames,
// one datagram each, numbered by its running byte count.
class UdpConverter {
public:
    std::string Name() const { return "UDP:127.0.0.1:" + std::to_string(peer.Port()); }

    bool Open(Rtcm3Endpoint& listener)
    {
        return peer.AnswerWhile(kUdpConnectRequest, kUdpConnectAccepted, kLink,
                                [&] { return listener.pipe.OpenPort({Name()}); });
    }
    void SendFrames(unsigned first, unsigned end)
    {
        for (unsigned number = first; number < end; ++number)
            peer.Send(kUdpData, kLink, NumberedRtcm3Frame(number));
    }
    // A datagram the network loses: numbered, never received.
    void LoseFrame(unsigned number) { peer.sentTotal += std::uint32_t(8 + NumberedRtcm3Frame(number).size()); }
    // Reads what the port sent meanwhile, answering nothing.
    std::size_t Drain()
    {
        std::size_t count = 0;
        Bytes datagram;
        while (peer.Receive(datagram, 0ms))
            ++count;
        return count;
    }

    testing::CUdpPeer peer;
};

TEST(FaultNetworkTest, AUdpPeerThatFallsSilentLeavesThePortUpAndItCountsOnWhenThePeerResumes)
{
    Rtcm3Endpoint listener;
    UdpConverter converter;
    ASSERT_TRUE(converter.Open(listener));
    converter.SendFrames(0, 10);
    ASSERT_TRUE(listener.WaitForFrames(10));

    // Silent: the port's writes go unanswered, the last datagram before the
    // silence never arrives.
    converter.LoseFrame(10);
    for (int i = 0; i < 20; ++i) {
        const std::uint8_t bytes[] = {0x55, std::uint8_t(i)};
        ASSERT_TRUE(listener.pipe.Send(bytes, sizeof bytes));
    }
    ASSERT_TRUE(WaitUntil([&] { return converter.Drain() > 0; }));
    EXPECT_TRUE(listener.pipe.IsPortOpen());

    // Back: the gap is given up and the frames after it are counted.
    converter.SendFrames(11, 25);
    ASSERT_TRUE(listener.WaitForFrames(24));
    EXPECT_EQ(listener.frames.Payloads(), Rtcm3Endpoint::Expected(Numbers({{0, 10}, {11, 25}})));
    EXPECT_EQ(listener.CountedFrames(), 24u);
    EXPECT_TRUE(listener.pipe.IsPortOpen());
}

}  // namespace
}  // namespace TolvarRT
