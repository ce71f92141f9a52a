// The radio budget of known frame schedules, computed by hand.
#include <gtest/gtest.h>

#include "chosen_time.h"
#include "core/log_pipe.h"
#include "decoders/rtcm_input_handler.h"
#include "fake_byte_pipe.h"
#include "rtcm2_writer.h"
#include "sim/cmr_schedule.h"
#include "stats/radio_budget.h"
#include "stats/stats_collection.h"

namespace TolvarRT {
namespace {

using testing::At;

// Counts what one cycle of each fake CMR schedule's entries sends each
// second, as the generator's frames reach the Source's collection.
TEST(RadioBudgetTest, TheFakeGeneratorsScheduleCostsWhatItsFramesAndTheirPacketsHold)
{
    // Schedule 3: a CMR type-0 frame every 500 ms, 12 + 15 per satellite
    // bytes; with 9 satellites 147 bytes of data, 153 with the packet.
    const sFakeSchedule& schedule = FakeSchedule(3);
    ASSERT_EQ(schedule.intervalMs, 500u);
    const unsigned length = FakeEntryLength(schedule.entries[0], 9, 4);
    ASSERT_EQ(length, 147u);
    CLogPipe logPipe;
    CStatsCollection source(&logPipe, true);
    for (int frame = 0; frame < 20; ++frame)  // 10 s
        source.RecordFrame(kFrameClassCMR, 0, length, 0, At(frame * 0.5));
    const sRadioBudget budget = MeasureBudget(source.Snapshot().records, 10.0, 9600);
    ASSERT_EQ(budget.types.size(), 1u);
    EXPECT_DOUBLE_EQ(budget.types[0].payloadBytesPerS, 294.0);
    EXPECT_DOUBLE_EQ(budget.types[0].airBytesPerS, 306.0);
    EXPECT_DOUBLE_EQ(budget.total.share, 3060.0 / 9600.0) << "10 bits a byte";
    EXPECT_FALSE(budget.total.overBudget);
    EXPECT_TRUE(MeasureBudget(source.Snapshot().records, 10.0, 3600).total.overBudget) << "85 % of 3600 bit/s";
    EXPECT_EQ(MeasureBudget(source.Snapshot().records, 10.0, 0).total.share, 0.0) << "no bit rate, no share";
}

TEST(RadioBudgetTest, EachProtocolAddsItsOwnFramingToWhatItsDecoderReports)
{
    CLogPipe logPipe;
    CStatsCollection side(&logPipe, true);
    // One frame of each per second, for 2 s.
    for (int second = 0; second < 2; ++second) {
        side.RecordFrame(kFrameClassRTCM3, 1005, 19, 0, At(second));   // + 3-byte header, 3-byte CRC
        side.RecordFrame(kFrameClassRTCM2, 1, 5 * 12, 0, At(second));  // + 2 header words; 5 bytes a word, 3 data
        side.RecordFrame(kFrameClassNMEA, 3, 80, 0, At(second));       // + CR LF
        side.RecordFrame(kFrameClassATS, 0, 40, 0, At(second));        // start and end byte included
        side.RecordFrame(kFrameClassSendTo, 255, 100, 0, At(second));  // in a data-collector packet
    }
    const sRadioBudget budget = MeasureBudget(side.Snapshot().records, 2.0, 0);
    ASSERT_EQ(budget.types.size(), 5u);
    const auto figures = [&](unsigned frameClass) {
        for (const sBudgetFigures& type : budget.types)
            if (KeyClass(type.key) == frameClass)
                return type;
        return sBudgetFigures{};
    };
    EXPECT_DOUBLE_EQ(figures(kFrameClassRTCM3).airBytesPerS, 25.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassRTCM3).payloadBytesPerS, 19.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassRTCM2).airBytesPerS, 70.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassRTCM2).payloadBytesPerS, 36.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassNMEA).airBytesPerS, 82.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassATS).payloadBytesPerS, 38.0);
    EXPECT_DOUBLE_EQ(figures(kFrameClassSendTo).airBytesPerS, 106.0);
    EXPECT_DOUBLE_EQ(budget.total.airBytesPerS, 25.0 + 70.0 + 82.0 + 40.0 + 106.0);
    EXPECT_EQ(MeasureBudget(side.Snapshot().records, 0.0, 9600).total.airBytesPerS, 0.0) << "no time, no rate";
}

// The bytes an RTCM v2 frame takes on the air are the bytes its writer put
// on the line, header words included, whatever length the decoder reports.
TEST(RadioBudgetTest, AnRtcm2FrameFromTheDecoderCostsEveryByteOfItsWords)
{
    testing::Rtcm2Writer writer;
    for (unsigned frame = 0; frame < 3; ++frame)
        writer.Frame({3, 1, frame}, {0x123456, 0x654321, 0x0F0F0F, 0xF0F0F0});  // type 3: 4 data words
    ASSERT_EQ(writer.bytes.size(), 3u * 30u);
    testing::FakeBytePipe pipe;
    CRTCMInputHandler decoder;
    decoder.Subscribe(&pipe);
    CLogPipe logPipe;
    CStatsCollection source(&logPipe, true);
    ASSERT_TRUE(source.SubscribeTo(nullptr, &decoder, nullptr, nullptr, nullptr));
    pipe.Feed(writer.bytes);
    const std::vector<PacketStats> records = source.Snapshot().records;
    ASSERT_EQ(records.size(), 1u);
    ASSERT_GE(records[0].frames, 2u);
    EXPECT_EQ(records[0].airBytes, 30u * records[0].frames);
    EXPECT_EQ(records[0].payloadBytes, 12u * records[0].frames) << "4 data words of 3 bytes";
    source.UnsubscribeAll();
}

}  // namespace
}  // namespace TolvarRT
