// Which packets become CMR, CMR-W and "Send To" frames, and the frames the
// fake CMR generator has built.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoders/dc_cmr_handler.h"
#include "log_recorder.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FrameRecorder : public TSubscriber<IIncommingCMRPipe> {
public:
    ~FrameRecorder() override { Unsubscribe(); }
    void OnCMRFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t length, std::uint8_t,
                    const TimeStamp&) override
    {
        frames.push_back("CMR " + std::to_string(type) + "/" + std::to_string(length));
    }
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t*, std::uint8_t length, std::uint8_t,
                     const TimeStamp&) override
    {
        frames.push_back("CMR-W " + std::to_string(type) + "/" + std::to_string(length));
    }
    void OnSendToFrame(const std::uint8_t*, std::uint8_t length, std::uint8_t, const TimeStamp&) override
    {
        frames.push_back("Send To /" + std::to_string(length));
    }
    std::vector<std::string> frames;
};

class CMRHandlerTest : public ::testing::Test {
protected:
    CMRHandlerTest()
    {
        handler.SetName("Listener");
        frames.Subscribe(&handler);
    }
    void Packet(std::uint8_t command, Bytes data)
    {
        const TimeStamp stamp = ProgramEpoch::Current().counter;
        handler.OnPacket(command, data.data(), std::uint8_t(data.size()), 0, stamp);
    }

    CLogPipe logPipe;
    testing::LogRecorder lines{&logPipe};
    CDCCMRHandler handler{&logPipe};
    FrameRecorder frames;
};

TEST_F(CMRHandlerTest, DispatchesByPacketType)
{
    Packet(0x93, {0x00, 0x20, 1, 2, 3});
    Packet(0x93, {0x00, 0xE5});
    Packet(0x94, {0xFF, 0xFF, 0xFF});
    Packet(0x98, {0x0C, 1, 2});
    Packet(0x77, {'@', 0xFF, 1});
    Packet(0x77, {'A', 0xFF, 1});
    Packet(0xEE, {9});
    Packet(0x6E, {'P', 'F'});
    EXPECT_THAT(frames.frames,
                ::testing::ElementsAre("CMR 1/5", "CMR 7/2", "CMR 5/3", "CMR-W 12/3", "Send To /3", "Send To /1"));
    EXPECT_THAT(lines.Lines(), ::testing::ElementsAre("Listener Receive CMR Frame Length 5, Type 1, Time 0.000",
                                                      "Listener Receive CMR Frame Length 2, Type 7, Time 0.000",
                                                      "Listener Receive CMR Frame Length 3, Type 5, Time 0.000",
                                                      "Listener Receive CMR-W Frame Length 3, Type 12, Time 0.000"));
}

TEST_F(CMRHandlerTest, PacketsTooShortForTheirTypeByteAreNotFrames)
{
    Packet(0x93, {0x00});
    Packet(0x93, {});
    Packet(0x98, {});
    Packet(0x77, {});
    EXPECT_TRUE(frames.frames.empty());
    // CMR+ and 0xEE read nothing from the data.
    Packet(0x94, {});
    Packet(0xEE, {});
    EXPECT_EQ(frames.frames.size(), 2u);
}

TEST_F(CMRHandlerTest, LinesAreWrittenWithoutSubscribers)
{
    frames.Unsubscribe();
    Packet(0x94, {1});
    EXPECT_EQ(lines.Lines().size(), 1u);
}

TEST_F(CMRHandlerTest, FakeCMRCarriesItsTypeAndEpochTime)
{
    // The packet commands are the receivers' own: 0x93 carries CMR type 0,
    // 0x94 the other CMR types, 0x98 CMR-W and 0x77 a SendTo frame.
    sFakeFrame frame;
    handler.BuildFakeCMR(frame, 0, 147);
    EXPECT_EQ(frame.command, 0x93);
    EXPECT_EQ(frame.length, 147);
    EXPECT_EQ(frame.epochTime, 1000u);
    // 1000 ms = 0b00 0000 0011 1110 1000 in 18 bits.
    EXPECT_EQ(frame.data[0], 0);
    EXPECT_EQ(frame.data[1], 0);
    EXPECT_EQ(frame.data[2], 1000 >> 10);
    EXPECT_EQ(frame.data[3], std::uint8_t(1000 >> 2));
    EXPECT_EQ(frame.data[4], (1000 & 3) << 6);

    handler.BuildFakeCMR(frame, 5, 12);
    EXPECT_EQ(frame.command, 0x94);
    EXPECT_EQ(frame.data[1], 0xA0) << "type 5 in the top three bits: 5 << 5";
    EXPECT_EQ(frame.epochTime, 2000u) << "only type-0 frames advance the epoch time";

    handler.BuildFakeCMRW(frame, 3, 110);
    EXPECT_EQ(frame.command, 0x98);
    EXPECT_EQ(frame.data[0], 3);
    EXPECT_EQ(frame.length, 110);

    handler.BuildFakeSendTo(frame, 100, 255);
    EXPECT_EQ(frame.command, 0x77);
    EXPECT_EQ(frame.type, 0x40);
    EXPECT_THAT(Bytes(frame.data, frame.data + 5), ::testing::ElementsAre(0x40, 0xFF, 255, 0, 0));
}

TEST_F(CMRHandlerTest, FakeEpochTimeWrapsAfter239Seconds)
{
    sFakeFrame frame;
    for (std::uint32_t i = 1; i <= 241; ++i) {
        handler.BuildFakeCMR(frame, 0, 27);
        ASSERT_EQ(frame.epochTime, i % 240 * 1000) << i;
        // The 18-bit field in the header holds the value whole.
        ASSERT_EQ((std::uint32_t(frame.data[2]) << 10) | (std::uint32_t(frame.data[3]) << 2) | (frame.data[4] >> 6),
                  frame.epochTime);
    }
}

TEST_F(CMRHandlerTest, FakeFramesShorterThanTheHeaderAreCut)
{
    sFakeFrame frame;
    handler.BuildFakeCMR(frame, 1, 3);
    EXPECT_EQ(frame.length, 3);
    EXPECT_EQ(frame.data[1], 0x20) << "type 1 << 5";
    handler.BuildFakeCMRW(frame, 1, 0);
    EXPECT_EQ(frame.length, 0);
    EXPECT_FALSE(handler.SendFakeFrame(frame, 0)) << "no parser attached";
}

}  // namespace
}  // namespace TolvarRT
