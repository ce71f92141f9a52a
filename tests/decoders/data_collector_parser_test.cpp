// Packet framing: what is published, what is reported lost, and that the scan
// after a bad checksum gives the same packets however the stream is cut.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "chunked_feed.h"
#include "decoders/data_collector_parser.h"
#include "fake_byte_pipe.h"
#include "packet_bytes.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::FakeBytePipe;

using testing::Packet;

using testing::Join;

struct Received {
    std::uint8_t type;
    Bytes data;
    std::uint8_t status;
    TimeStamp timeStamp;
    bool operator==(const Received& other) const
    {
        return type == other.type && data == other.data && status == other.status;
    }
};

class PacketRecorder : public TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
public:
    ~PacketRecorder() override { Unsubscribe(); }
    void OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TimeStamp& timeStamp) override
    {
        packets.push_back({command, Bytes(data, data + length), status, timeStamp});
    }
    std::vector<Received> packets;
};

// A parser on a fake byte pipe with a recorder on its packets.
struct Chain {
    Chain()
    {
        parser.Subscribe(&pipe);
        recorder.Subscribe(&parser);
    }
    void Feed(const Bytes& stream, std::size_t chunkSize = 0) { pipe.Feed(stream, chunkSize); }

    CLogNode log;
    FakeBytePipe pipe;
    CDataCollectorParser parser{log};
    PacketRecorder recorder;
};

std::size_t PacketBytes(const std::vector<Received>& packets)
{
    std::size_t total = 0;
    for (const Received& packet : packets)
        total += packet.data.size() + kPacketOverhead;
    return total;
}

// The break packet of the TCP port, as it goes out and as it comes in.
TEST(DataCollectorParserTest, SendsAndFramesTheBreakPacketOfTheTcpPort)
{
    Chain chain;
    const Bytes text = {'T', 'C', 'P', 'B', 'R', 'E', 'A', 'K'};
    const Bytes packet = {0x02, 0x00, 0x6F, 0x08, 'T', 'C', 'P', 'B', 'R', 'E', 'A', 'K', 0xC3, 0x03};
    EXPECT_TRUE(chain.parser.SendPacket(0x6F, text.data(), 8, 0));
    EXPECT_EQ(chain.pipe.sent, packet);
    chain.Feed(packet);
    EXPECT_EQ(chain.recorder.packets, (std::vector<Received>{{0x6F, text, 0, 0}}));
    EXPECT_EQ(chain.pipe.LostTotal(), 0u);

    chain.pipe.sent.clear();
    EXPECT_TRUE(chain.parser.SendPacket(0x6F, nullptr, 0, 0));
    EXPECT_EQ(chain.pipe.sent, Bytes({0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03}));
    chain.pipe.portOpen = false;
    EXPECT_FALSE(chain.parser.SendPacket(0x6F, nullptr, 0, 0));
}

// Worked by hand so that neither the product's checksum nor the tests' own one
// decides: 0x85 + 0x93 + 0x02 + 0x10 + 0x20 = 0x14A, so the checksum is 0x4A;
// without the status byte it would be 0xC5.
TEST(DataCollectorParserTest, SumsTheStatusByteSendingAndReceiving)
{
    const Bytes data = {0x10, 0x20};
    const Bytes packet = {0x02, 0x85, 0x93, 0x02, 0x10, 0x20, 0x4A, 0x03};
    EXPECT_EQ(Packet(0x93, data, 0x85), packet);

    Chain chain;
    EXPECT_TRUE(chain.parser.SendPacket(0x93, data.data(), 2, 0x85));
    EXPECT_EQ(chain.pipe.sent, packet);

    Bytes statusLeftOut = packet;
    statusLeftOut[6] = 0xC5;
    chain.Feed(Join({statusLeftOut, packet}));
    EXPECT_EQ(chain.recorder.packets, (std::vector<Received>{{0x93, data, 0x85, 0}}));
    EXPECT_EQ(chain.pipe.LostTotal(), statusLeftOut.size());
}

struct StreamCase {
    const char* what;
    Bytes stream;
    std::vector<std::uint8_t> types;  // of the packets published, in order
    std::uint64_t lost;               // bytes reported lost
};

class PacketStreams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(PacketStreams, PublishTheGoodPacketsAndAccountForEveryByteInAnyChunking)
{
    const StreamCase& c = GetParam();
    for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7)}) {
        Chain chain;
        chain.Feed(c.stream, chunk);
        std::vector<std::uint8_t> types;
        for (const Received& packet : chain.recorder.packets)
            types.push_back(packet.type);
        EXPECT_EQ(types, c.types) << c.what << ", chunks of " << chunk;
        EXPECT_EQ(chain.pipe.LostTotal(), c.lost) << c.what << ", chunks of " << chunk;
        EXPECT_EQ(PacketBytes(chain.recorder.packets) + chain.pipe.LostTotal(), c.stream.size()) << c.what;
    }
}

Bytes WithBadChecksum(Bytes packet)
{
    packet[packet.size() - 2] ^= 0x01;
    return packet;
}

INSTANTIATE_TEST_SUITE_P(
    Framing, PacketStreams,
    ::testing::Values(StreamCase{"empty packet", Packet(0x40, {}), {0x40}, 0},
                      StreamCase{"noise before", Join({{0x11, 0x22, 0x33}, Packet(0x93, {0, 0x09, 1})}), {0x93}, 3},
                      StreamCase{"back to back", Join({Packet(0x93, {1, 2}), Packet(0x94, {3})}), {0x93, 0x94}, 0},
                      StreamCase{"noise after", Join({Packet(0x93, {1, 2}), {0x55, 0x66}}), {0x93}, 2},
                      StreamCase{"wrong end byte",
                                 Join({[] {
                                           Bytes p = Packet(0x93, {1, 2});
                                           p.back() = 0x04;
                                           return p;
                                       }(),
                                       Packet(0x98, {7})}),
                                 {0x98},
                                 8},
                      StreamCase{"bad checksum then good",
                                 Join({WithBadChecksum(Packet(0x93, {1, 4, 5})), Packet(0x6E, {'X'})}),
                                 {0x6E},
                                 9},
                      // A good packet hidden in the data of one whose checksum fails.
                      StreamCase{"packet inside a rejected one",
                                 Join({{0x02, 0x00, 0x93, 0x0C}, Packet(0x77, {'@', 1, 2}), {0x00, 0x00, 0x00, 0xEE}}),
                                 {0x77},
                                 8},
                      // Its checksum matches by chance, its end byte is wrong.
                      StreamCase{"packet inside a false one without its end byte",
                                 [] {
                                     Bytes data = Join({Packet(0x77, {'@', 1, 2}), {0x31, 0x32}});
                                     const auto length = std::uint8_t(data.size());
                                     Bytes stream = Join({{0x02, 0x00, 0x93, length}, data});
                                     stream.push_back(testing::PacketSum(0x00, 0x93, data));
                                     stream.push_back(0x00);
                                     return stream;
                                 }(),
                                 {0x77},
                                 8},
                      StreamCase{"longest packet", Packet(0x93, Bytes(255, 0xAB)), {0x93}, 0}),
    testing::CaseName<StreamCase>);

TEST(DataCollectorParserTest, RescanAfterABadChecksumDoesNotDependOnTheChunking)
{
    // Regression test for the rescan losing its place when the failed packet
    // began in an earlier chunk: a good packet starts inside the data of a
    // packet whose checksum fails, at every split point of the stream.
    const Bytes hidden = Packet(0x93, {0x00, 0x29, 0x11, 0x22, 0x33});
    const Bytes stream =
        Join({{0x02, 0x00, 0x93, 0x14, 0x01}, hidden, Bytes(10, 0x20), {0x00, 0x03}, Packet(0x94, {0xA0})});
    for (std::size_t split = 1; split < stream.size(); ++split) {
        Chain chain;
        chain.pipe.Feed(stream.data(), split);
        chain.pipe.Feed(stream.data() + split, stream.size() - split);
        ASSERT_EQ(chain.recorder.packets.size(), 2u) << "split at " << split;
        EXPECT_EQ(chain.recorder.packets[0].data, Bytes(hidden.begin() + 4, hidden.end() - 2));
        EXPECT_EQ(chain.recorder.packets[1].type, 0x94);
        EXPECT_EQ(PacketBytes(chain.recorder.packets) + chain.pipe.LostTotal(), stream.size());
    }
}

TEST(DataCollectorParserTest, RandomChunkingGivesTheSamePackets)
{
    std::mt19937 random(7);
    Bytes stream;
    std::vector<Received> expected;
    for (int i = 0; i < 200; ++i) {
        Bytes data(random() % 40);
        for (auto& byte : data)
            byte = std::uint8_t(random());
        const auto type = std::uint8_t(0x90 + random() % 16);
        Bytes packet = Packet(type, data, std::uint8_t(random() % 3));
        if (random() % 5 == 0) {
            packet = WithBadChecksum(packet);
        } else {
            expected.push_back({type, data, packet[1], 0});
        }
        stream.insert(stream.end(), packet.begin(), packet.end());
        if (random() % 4 == 0)
            stream.push_back(std::uint8_t(random()));
    }
    Chain whole;
    whole.Feed(stream);
    for (unsigned round = 0; round < 20; ++round) {
        Chain chain;
        testing::FeedPieces(chain.pipe, stream, testing::RandomPieces(stream.size(), round, 50));
        EXPECT_EQ(chain.recorder.packets, whole.recorder.packets);
        EXPECT_EQ(chain.pipe.LostTotal(), whole.pipe.LostTotal());
    }
    // Random data may hide extra packets inside rejected ones; every intended
    // one is there, in order.
    std::size_t found = 0;
    for (const Received& packet : whole.recorder.packets)
        if (found < expected.size() && packet == expected[found])
            ++found;
    EXPECT_EQ(found, expected.size());
}

TEST(DataCollectorParserTest, APacketSplitOverTwoChunksCarriesTheSecondChunksTimeStamp)
{
    const Bytes packet = Packet(0x93, {0, 0x20, 1, 2, 3});
    for (std::size_t split = 1; split < packet.size(); ++split) {
        Chain chain;
        chain.pipe.nextTimeStamp = 500;
        chain.pipe.Feed(packet.data(), split);
        chain.pipe.Feed(packet.data() + split, packet.size() - split);
        ASSERT_EQ(chain.recorder.packets.size(), 1u);
        EXPECT_EQ(chain.recorder.packets[0].timeStamp, 501);
    }
}

// A stray STX whose length byte runs past the bytes received must not hold the
// packets behind it: each is out with the chunk holding its last byte, and
// the stray bytes are reported lost once, before it.
class HeldPackets : public ::testing::TestWithParam<testing::StrayBeforeFrames> {};

TEST_P(HeldPackets, ArePublishedWithTheChunkThatCompletesThem)
{
    const testing::StrayBeforeFrames& c = GetParam();
    for (const std::size_t chunk : testing::kPortChunkSizes) {
        SCOPED_TRACE(std::string(c.what) + ", chunks of " + std::to_string(chunk));
        Chain chain;
        chain.Feed(c.Stream(), chunk);
        ASSERT_EQ(chain.recorder.packets.size(), c.frames.size());
        for (std::size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(chain.recorder.packets[i].data, Bytes(c.frames[i].begin() + 4, c.frames[i].end() - 2));
            EXPECT_EQ(chain.recorder.packets[i].timeStamp, c.StampOfFrame(i, chunk)) << "packet " << i;
        }
        EXPECT_EQ(testing::MergedLost(chain.pipe), c.Lost());
    }
}

INSTANTIATE_TEST_SUITE_P(
    StrayStx, HeldPackets,
    ::testing::Values(testing::StrayBeforeFrames{"field report",
                                                 {0x02, 0x00, 0x93, 0xFF, 0x01, 0x02, 0x03},
                                                 {Packet(0x93, {0x00, 0x29, 0x11, 0x22})}},
                      testing::StrayBeforeFrames{"a stray inside a stray",
                                                 {0x02, 0x00, 0x93, 0xFF, 0x01, 0x02, 0x05, 0x06, 0xC8, 0x07},
                                                 {Packet(0x94, {0x01}), Packet(0x93, Bytes(40, 0x02))}},
                      testing::StrayBeforeFrames{"no data, then the longest",
                                                 {0x02, 0x00, 0x93, 0x80},
                                                 {Packet(0x6E, {}), Packet(0x98, Bytes(255, 0x03))}}),
    testing::CaseName<testing::StrayBeforeFrames>);

TEST(DataCollectorParserTest, AnIdentityReplyReplacesTheIdentity)
{
    Chain chain;
    const std::string text = "PRODUCT,TDL 450H,UHF;PORT,1,2,3,8,1,N,1;VERSION,3.1,4,5,6;";
    chain.Feed(Packet(kPacketIdentityReply, Bytes(text.begin(), text.end())));
    EXPECT_EQ(chain.parser.Identity().productName, "TDL 450H");
    EXPECT_EQ(chain.parser.Identity().text, text);
    ASSERT_EQ(chain.recorder.packets.size(), 1u);
}

}  // namespace
}  // namespace TolvarRT
