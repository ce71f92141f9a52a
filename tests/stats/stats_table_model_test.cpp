// The cells of the statistics table, computed from the collections.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/time_base.h"
#include "stats/stats_table_model.h"

namespace TolvarRT {
namespace {

constexpr TimeStamp kSecond = 1'000'000'000;

class TableTest : public ::testing::Test {
protected:
    TableTest() { receiver.SetSource(&source); }

    const sStatsRow& Row(std::size_t index)
    {
        rows = model.Rows();
        return rows.at(index);
    }

    const TimeStamp start = TimeStampNow();
    CLogPipe logPipe;
    CStatsCollection source{&logPipe, true};
    CStatsCollection receiver{&logPipe, false};
    CStatsTableModel model;
    std::vector<sStatsRow> rows;
};

TEST_F(TableTest, RowsStandInKeyOrderWithTheirNamesAndIcons)
{
    receiver.RecordFrame(kFrameClassRTCM2, 9, 10, 1, start);
    receiver.RecordFrame(kFrameClassCMR, 1, 10, 1, start);
    receiver.RecordFrame(kFrameClassCMR, 0, 10, 1, start);
    receiver.RecordFrame(kFrameClassSendTo, 64, 10, 1, start);
    model.Refresh(receiver);
    rows = model.Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].cells[kColumnName], "CMR Type 0");
    EXPECT_EQ(rows[1].cells[kColumnName], "CMR Type 1");
    EXPECT_EQ(rows[2].cells[kColumnName], "RTCM v2 Type 9");
    EXPECT_EQ(rows[3].cells[kColumnName], "Send To Type 64");
    EXPECT_EQ(rows[0].icon, 0);
    EXPECT_EQ(rows[2].icon, 1);
    EXPECT_EQ(rows[3].icon, -1);
}

TEST_F(TableTest, ASourceOnlyRowShowsOnlyItsNameAndSourceCount)
{
    source.RecordFrame(kFrameClassRTCM3, 1005, 19, 1, start);
    source.RecordFrame(kFrameClassRTCM3, 1005, 19, 1, start + kSecond);
    model.Refresh(receiver);
    const sStatsRow& row = Row(0);
    EXPECT_EQ(row.cells[kColumnName], "RTCM v3 Type 1005");
    EXPECT_EQ(row.cells[kColumnSourceCount], "2");
    for (unsigned column = kColumnRating; column < kAllStatsColumns; ++column) {
        if (column != kColumnSourceCount) {
            EXPECT_EQ(row.cells[column], "n/a") << CStatsTableModel::AllColumnHeaders()[column];
        }
    }
}

TEST_F(TableTest, MatchedFramesShowPercentLatencyAndAverages)
{
    for (int i = 0; i < 4; ++i) {
        source.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond);
        if (i != 2)
            receiver.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond + 42'500'000);
    }
    model.Refresh(receiver);
    // Frames 0, 1 and 3 arrive, each 42.5 ms after it was sent: 3 of 4 is
    // 75 %; the last interval is 3 s - 1 s; the average rate is the 2
    // intervals over the 3 s from first to last. The cells' spellings (two
    // decimals and "%", whole milliseconds in three digits, seconds with an
    // "s") are the table's own, kept as users and their scripts read them.
    const auto& cells = Row(0).cells;
    EXPECT_EQ(cells[kColumnCount], "3");
    EXPECT_EQ(cells[kColumnSourceCount], "4");
    EXPECT_EQ(cells[kColumnReceived], "75.00%");
    EXPECT_EQ(cells[kColumnLastSize], "100");
    EXPECT_EQ(cells[kColumnLastInterval], "2.000");
    EXPECT_EQ(cells[kColumnLastLatency], "042 ms") << "42.5 ms cut to whole milliseconds";
    EXPECT_EQ(cells[kColumnAverageLength], "100.0");
    EXPECT_EQ(cells[kColumnAverageRate], "0.667") << "2 / 3 s";
    EXPECT_EQ(cells[kColumnAverageLatency], "0.043s") << "0.0425 s to three decimals";
    EXPECT_EQ(cells[kColumnRating], "n/a") << "no period yet";
}

TEST_F(TableTest, TheLatencyColumnsFollowTheTwelveWithTheRunsDistribution)
{
    // Transits of 40, 50, 60 and 200 ms.
    const TimeStamp transits[] = {40'000'000, 50'000'000, 60'000'000, 200'000'000};
    for (int i = 0; i < 4; ++i) {
        source.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond);
        receiver.RecordFrame(kFrameClassCMR, 0, 100, std::uint16_t(i), start + i * kSecond + transits[i]);
    }
    model.Refresh(receiver);
    const auto& cells = Row(0).cells;
    EXPECT_EQ(cells[kColumnLatencyMin], "40.0");
    EXPECT_NEAR(std::stod(cells[kColumnLatencyMedian]), 50.0, 0.5) << "within the histogram's 1 %";
    EXPECT_NEAR(std::stod(cells[kColumnLatency95]), 200.0, 2.0);
    EXPECT_EQ(cells[kColumnLatencyMax], "200.0");
    // sqrt((40² + 50² + 60² + 200²) / 4) = sqrt(47700 / 4) = 109.20 ms.
    EXPECT_EQ(cells[kColumnLatencyRms], "109.2");
    const auto& headers = CStatsTableModel::AllColumnHeaders();
    EXPECT_TRUE(
        std::equal(CStatsTableModel::ColumnHeaders().begin(), CStatsTableModel::ColumnHeaders().end(), headers.begin()))
        << "the twelve come first, unchanged";
    EXPECT_STREQ(headers[kColumnLatencyRms], "RMS Latency (ms)");
}

TEST_F(TableTest, UncorrelatedFramesAtOneInstantShowNotAvailable)
{
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 7, start);
    for (int frames = 1; frames <= 2; ++frames) {
        model.Refresh(receiver);
        const auto& cells = Row(0).cells;
        EXPECT_EQ(cells[kColumnLastLatency], "n/a");
        EXPECT_EQ(cells[kColumnAverageLatency], "n/a");
        // Regression test for a division by a zero time span.
        EXPECT_EQ(cells[kColumnAverageRate], "n/a") << frames << " frames";
        EXPECT_EQ(cells[kColumnReceived], "n/a");
        receiver.RecordFrame(kFrameClassCMR, 0, 100, 8, start);
    }
}

TEST_F(TableTest, ATypeAtExactlyItsRateIsPerfectOnceThePeriodIsKnown)
{
    for (int i = 0; i < 15; ++i)
        receiver.RecordFrame(kFrameClassRTCM3, 1004, 50, 1, start + i * kSecond);
    model.Refresh(receiver);
    EXPECT_EQ(Row(0).cells[kColumnRating], "n/a");
    receiver.RecordFrame(kFrameClassRTCM3, 1004, 50, 1, start + 15 * kSecond);
    model.Refresh(receiver);
    EXPECT_EQ(Row(0).cells[kColumnRating], "Perfect");
}

TEST_F(TableTest, UnchangedRecordsAreNotReadAgain)
{
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 7, start);
    model.Refresh(receiver);
    PacketStats record;
    receiver.FindRecord(FrameKey(kFrameClassCMR, 0), record);
    EXPECT_EQ(record.changed, 0);
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 7, start + kSecond);
    model.Refresh(receiver);
    EXPECT_EQ(Row(0).cells[kColumnCount], "2");
}

TEST_F(TableTest, AResetOfTheSourceAloneDropsOnlyTheRowsItHeld)
{
    source.RecordFrame(kFrameClassRTCM3, 1005, 19, 1, start);
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 1, start);
    model.Refresh(receiver);
    ASSERT_EQ(model.Rows().size(), 2u);
    source.Reset();
    model.Refresh(receiver);
    rows = model.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[kColumnName], "CMR Type 0");
    EXPECT_EQ(rows[0].cells[kColumnCount], "1") << "read again though unchanged";
}

TEST_F(TableTest, ARecordReadJustBeforeTheTableSawTheResetStillGetsItsRow)
{
    receiver.RecordFrame(kFrameClassCMR, 0, 100, 1, start);
    model.Refresh(receiver);
    receiver.Reset();
    source.Reset();
    receiver.RecordFrame(kFrameClassCMR, 5, 12, 1, start + kSecond);
    // As a refresh that read the new record under the old generation leaves it.
    int position = -1;
    PacketStats record;
    ASSERT_TRUE(receiver.NextRecord(position, record, true));
    model.Refresh(receiver);
    rows = model.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[kColumnName], "CMR Type 5");
    EXPECT_EQ(rows[0].cells[kColumnCount], "1");
}

TEST(RatingTest, ThresholdsAreStrictlyAbove)
{
    struct Case {
        double ratio;
        const char* text;
    };
    for (const Case& c :
         {Case{1.0, "Perfect"}, Case{0.9996, "Perfect"}, Case{0.9995, "Very Good"}, Case{0.981, "Very Good"},
          Case{0.98, "Good"}, Case{0.96, "not so good"}, Case{0.93, "Poor"}, Case{0.85, "Crap"}, Case{0.0, "Crap"}})
        EXPECT_STREQ(RatingText(c.ratio), c.text) << c.ratio;
}

}  // namespace
}  // namespace TolvarRT
