// The statistics table as a user sees it: headers, rows in key order with
// their class icons, the cells the core computes, and "Reset Statistics".
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QTest>
#include <QTimer>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "core/time_base.h"
#include "gui/stats_view.h"
#include "scripted_document_ui.h"

namespace {

using TolvarRT::kColumnCount;
using TolvarRT::kColumnName;
using TolvarRT::kColumnSourceCount;

constexpr TolvarRT::TimeStamp kSecond = 1'000'000'000;

class StatsViewTest : public ::testing::Test {
protected:
    QString Cell(int row, int column) { return view.model()->data(view.model()->index(row, column)).toString(); }
    // What the view shows once its timer has run at least once more.
    bool WaitForRows(int count)
    {
        return QTest::qWaitFor([&] { return view.model()->rowCount() == count; }, 5000);
    }
    void RecordCmr(unsigned type, int frames)
    {
        for (int i = 0; i < frames; ++i)
            document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassCMR, type, 80, std::uint16_t(i),
                                                      start + i * kSecond);
    }

    const TolvarRT::TimeStamp start = TolvarRT::TimeStampNow();
    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
    gui::CStatsView view{document};
};

TEST_F(StatsViewTest, ShowsTwelveCentredColumnsWideEnoughForTheirHeaders)
{
    const QStringList expected = {"Packet Type Received", "Rating",     "Count",         "Source Count",
                                  "% Received",           "Last Size",  "Last Interval", "Last Time",
                                  "Last Latency (ms)",    "Avg Length", "Avg Pkts/s",    "Avg Latency"};
    const QStringList latency = {"Min Latency (ms)", "Median Latency (ms)", "95% Latency (ms)", "Max Latency (ms)",
                                 "RMS Latency (ms)"};
    ASSERT_EQ(view.model()->columnCount(), expected.size() + latency.size());
    const QFontMetrics metrics = view.horizontalHeader()->fontMetrics();
    for (int column = 0; column < expected.size(); ++column) {
        EXPECT_EQ(view.model()->headerData(column, Qt::Horizontal).toString(), expected[column]);
        EXPECT_EQ(view.columnWidth(column), metrics.horizontalAdvance(expected[column]) + 16) << column;
        EXPECT_FALSE(view.isColumnHidden(column));
    }
    for (int i = 0; i < latency.size(); ++i) {
        const int column = int(expected.size()) + i;
        EXPECT_EQ(view.model()->headerData(column, Qt::Horizontal).toString(), latency[i]);
        EXPECT_TRUE(view.isColumnHidden(column)) << "the latency distribution shows only when asked for";
    }
}

TEST_F(StatsViewTest, AColumnIsAsWideAsItsWidestValueSoFarUnlessTheUserSizedIt)
{
    const QFontMetrics metrics = view.fontMetrics();
    const auto row = [](std::uint32_t key, const std::string& rating, const std::string& count) {
        TolvarRT::sStatsRow made;
        made.key = key;
        made.cells[kColumnName] = "CMR Type 0 (CMR Observables, a long name)";
        made.cells[TolvarRT::kColumnRating] = rating;
        made.cells[kColumnCount] = count;
        return made;
    };
    const int ratingColumn = int(TolvarRT::kColumnRating);
    const int veryGood = metrics.horizontalAdvance(QStringLiteral("Very Good"));
    ASSERT_LT(view.columnWidth(ratingColumn), veryGood) << "the header alone would cut the value";

    view.Rows().SetRows({row(1, "Very Good", "1")});
    EXPECT_GE(view.columnWidth(ratingColumn), veryGood + 6);
    EXPECT_GE(view.columnWidth(kColumnName),
              metrics.horizontalAdvance(QStringLiteral("CMR Type 0 (CMR Observables, a long name)")) + 32);
    const int countWidth = view.columnWidth(kColumnCount);

    // A value that changes in place widens too; a shorter one narrows nothing.
    view.Rows().SetRows({row(1, "Poor", "123456789012345678901234567890")});
    EXPECT_GT(view.columnWidth(kColumnCount), countWidth);
    EXPECT_GE(view.columnWidth(ratingColumn), veryGood + 6);

    // The user's width stays, whatever comes.
    view.horizontalHeader()->resizeSection(ratingColumn, 30);
    EXPECT_TRUE(view.SizedByUser(ratingColumn));
    view.Rows().SetRows({row(1, "Very Good", "1"), row(2, "Perfect but with a much longer text", "2")});
    EXPECT_EQ(view.columnWidth(ratingColumn), 30);
    EXPECT_FALSE(view.SizedByUser(kColumnCount));

    // Showing and hiding columns is not the user sizing them.
    view.ChooseLatencyColumns(true);
    view.ChooseLatencyColumns(false);
    EXPECT_FALSE(view.SizedByUser(int(TolvarRT::kColumnLatencyMin)));
}

TEST_F(StatsViewTest, TheLatencyDistributionShowsWhenAskedAndTheNextWindowRemembers)
{
    TolvarRT::CStatsCollection& source = document.SourceStatistics();
    TolvarRT::CStatsCollection& listener = document.ListenerStatistics();
    for (int i = 0; i < 4; ++i) {
        source.RecordFrame(TolvarRT::kFrameClassCMR, 0, 80, std::uint16_t(i), start + i * kSecond);
        listener.RecordFrame(TolvarRT::kFrameClassCMR, 0, 80, std::uint16_t(i),
                             start + i * kSecond + (i + 1) * kSecond / 100);  // 10, 20, 30, 40 ms
    }
    view.ChooseLatencyColumns(true);
    EXPECT_TRUE(view.LatencyColumnsShown());
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_FALSE(view.isColumnHidden(TolvarRT::kColumnLatencyMax));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cell(0, TolvarRT::kColumnLatencyMax) == "40.0"; }, 5000));
    EXPECT_EQ(Cell(0, TolvarRT::kColumnLatencyMin), "10.0");

    gui::CStatsView nextWindow{document};
    EXPECT_TRUE(nextWindow.LatencyColumnsShown());
    nextWindow.ChooseLatencyColumns(false);
    EXPECT_TRUE(nextWindow.isColumnHidden(TolvarRT::kColumnLatencyRms));
    EXPECT_EQ(settings.ReadInt("Settings", "LatencyColumns", -1), 0);
}

TEST_F(StatsViewTest, TheMatchWindowAskedForIsTheDocumentsAndKept)
{
    // The dialog is modal: it is answered from the event loop it runs.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->intValue(), 30);
        dialog->setIntValue(120);
        dialog->accept();
    });
    view.AskMatchWindow();
    EXPECT_EQ(document.MatchWindow(), 120.0);
    EXPECT_EQ(settings.ReadInt("Settings", CTolvarTestSuiteDoc::kMatchWindowKey, 0), 120);
}

TEST_F(StatsViewTest, RowsAppearInKeyOrderWithClassIconsAndTheModelsCells)
{
    view.show();
    document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassRTCM2, 9, 30, 1, start);
    RecordCmr(1, 3);
    document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassSendTo, 64, 12, 1, start);
    RecordCmr(0, 2);
    ASSERT_TRUE(WaitForRows(4));

    EXPECT_EQ(Cell(0, kColumnName), "CMR Type 0");
    EXPECT_EQ(Cell(1, kColumnName), "CMR Type 1");
    EXPECT_EQ(Cell(2, kColumnName), "RTCM v2 Type 9");
    EXPECT_EQ(Cell(3, kColumnName), "Send To Type 64");
    EXPECT_FALSE(view.model()
                     ->data(view.model()->index(0, kColumnName), Qt::DecorationRole)
                     .value<QIcon>()
                     .pixmap(32, 16)
                     .isNull());
    EXPECT_FALSE(view.model()->data(view.model()->index(2, kColumnName), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(view.model()->data(view.model()->index(3, kColumnName), Qt::DecorationRole).value<QIcon>().isNull())
        << "\"Send To\" has no class icon";
    EXPECT_EQ(view.model()->data(view.model()->index(1, kColumnCount), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::Alignment(Qt::AlignCenter));

    // Every cell is the text the core's table computed.
    const std::vector<TolvarRT::sStatsRow> rows = document.StatisticsRows();
    ASSERT_EQ(rows.size(), 4u);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < int(TolvarRT::kStatsColumns); ++column)
            EXPECT_EQ(Cell(row, column).toStdString(), rows[std::size_t(row)].cells[std::size_t(column)]);
    EXPECT_EQ(Cell(1, kColumnCount), "3");
    EXPECT_EQ(Cell(1, kColumnSourceCount), "n/a");

    // The name column makes room for the longest name beside its icon.
    EXPECT_GE(view.columnWidth(kColumnName), view.fontMetrics().horizontalAdvance("RTCM v2 Type 9") + 38);
}

TEST_F(StatsViewTest, NewTypesSlotInWithoutLosingTheUsersSelection)
{
    RecordCmr(3, 2);
    ASSERT_TRUE(WaitForRows(1));
    view.selectRow(0);
    RecordCmr(1, 2);
    document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassRTCM3, 1004, 40, 1, start);
    ASSERT_TRUE(WaitForRows(3));
    EXPECT_EQ(Cell(1, kColumnName), "CMR Type 3");
    ASSERT_EQ(view.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view.selectionModel()->selectedRows().front().row(), 1) << "the selection follows its row";
    EXPECT_EQ(view.Rows().KeyOf(1), (1u << 16) | 3u);
}

TEST_F(StatsViewTest, ResetStatisticsEmptiesTheTableUntilFramesArriveAgain)
{
    RecordCmr(0, 2);
    RecordCmr(1, 2);
    ASSERT_TRUE(WaitForRows(2));

    document.ResetStatistics();
    view.DeleteAllRows();
    EXPECT_EQ(view.model()->rowCount(), 0);
    view.Refresh();
    EXPECT_EQ(view.model()->rowCount(), 0) << "the reset collections hold nothing to show";

    RecordCmr(1, 1);
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_EQ(Cell(0, kColumnName), "CMR Type 1");
    EXPECT_EQ(Cell(0, kColumnCount), "1");
}

TEST_F(StatsViewTest, OnlyItsOwnTimerRefreshes)
{
    RecordCmr(0, 1);
    view.OnFrameTimer(7);  // the summary timer the test window forwards
    EXPECT_EQ(view.model()->rowCount(), 0);
    view.OnFrameTimer(gui::CStatsView::kRefreshTimer);
    EXPECT_EQ(view.model()->rowCount(), 1);
}

}  // namespace
