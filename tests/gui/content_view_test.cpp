// The Stream Content window as a user meets it: opened once per test from the
// View menu, it shows the content model's rows and follows the statistics
// table's refresh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Before Qt: the connection settings have a field named like a Qt keyword.
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"

#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>

#include "content_snapshots.h"
#include "gui/command_table.h"
#include "gui/content_view.h"
#include "gui/main_frame.h"
#include "gui/qt_text.h"
#include "gui/tolvar_test_suite_app.h"

namespace {

namespace Shell = gui::ShellCommand;
using View = gui::CContentView;

// The item of the menu titled menu whose text, without its "&", is text.
QAction* MenuItem(QMenuBar& bar, const QString& menu, const QString& text)
{
    for (QAction* title : bar.actions()) {
        if (title->text().remove(QLatin1Char('&')) != menu || title->menu() == nullptr)
            continue;
        for (QAction* item : title->menu()->actions())
            if (item->text().remove(QLatin1Char('&')) == text)
                return item;
    }
    return nullptr;
}

// A table's cells as the model gave them: its headers, then its rows.
std::vector<std::vector<std::string>> Cells(const QTableWidget& table)
{
    std::vector<std::vector<std::string>> cells(1);
    for (int column = 0; column < table.columnCount(); ++column)
        cells[0].push_back(gui::FromQt(table.horizontalHeaderItem(column)->text()));
    for (int row = 0; row < table.rowCount(); ++row) {
        cells.emplace_back();
        for (int column = 0; column < table.columnCount(); ++column)
            cells.back().push_back(gui::FromQt(table.item(row, column)->text()));
    }
    return cells;
}

std::vector<std::vector<std::string>> Cells(const TolvarRT::sContentTable& table)
{
    std::vector<std::vector<std::string>> cells{table.headers};
    cells.insert(cells.end(), table.rows.begin(), table.rows.end());
    return cells;
}

class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(application.Start()); }

    gui::CMainFrame& Main() { return application.MainFrame(); }
    View& OpenFromMenu()
    {
        QAction* item = MenuItem(*Main().menuBar(), QStringLiteral("View"), QStringLiteral("Stream Content"));
        EXPECT_NE(item, nullptr);
        if (item != nullptr)
            item->trigger();
        auto* frame = qobject_cast<QMdiSubWindow*>(Main().ContentWindow());
        EXPECT_NE(frame, nullptr);
        return *qobject_cast<View*>(frame->widget());
    }

    CMemorySettingsStore settings;
    gui::CTolvarTestSuiteApp application{settings};
};

TEST_F(ContentViewTest, TheViewMenuOpensOneWindowPerTestThatKeepsTheTestsCommands)
{
    CTolvarTestSuiteDoc* document = Main().ActiveDocument();
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(Main().IsEnabled(Shell::kContentWindow));
    View& view = OpenFromMenu();
    EXPECT_EQ(Main().ContentWindow()->windowTitle(), QStringLiteral("Stream Content"));
    EXPECT_EQ(Main().Area().subWindowList().size(), 2);
    EXPECT_EQ(Main().ActiveDocument(), document) << "its test's commands stay on offer";
    EXPECT_EQ(&OpenFromMenu(), &view) << "asking again brings the same window forward";
    EXPECT_EQ(Main().Area().subWindowList().size(), 2);
}

TEST_F(ContentViewTest, AnOpenedWindowIsFilledAtOnceAndEachStatisticsRefreshRedrawsIt)
{
    View& view = OpenFromMenu();
    // The host clock's line first; a leap-second list that has expired adds a line.
    EXPECT_EQ(view.ClockLabel().text().toStdString().substr(0, view.Shown().clock.at(0).size()),
              view.Shown().clock.at(0));
    ASSERT_FALSE(view.Shown().sides.empty());
    EXPECT_EQ(view.SideNotes(0).text(), QStringLiteral("No frames with epochs or station records yet"));

    view.Show({});
    EXPECT_TRUE(view.Shown().sides.empty());
    Main().ActiveDocument()->RefreshStatistics();
    EXPECT_FALSE(view.Shown().sides.empty()) << "the table's tick is the window's";
}

TEST_F(ContentViewTest, ItShowsTheModelsRowsAndHidesWhatIsAbsent)
{
    View& view = OpenFromMenu();
    view.resize(700, 900);
    TolvarRT::sStatsSnapshot snapshot;
    snapshot.content = TolvarRT::testing::RoverContent();
    snapshot.content.mixedStations = true;
    const TolvarRT::sContentView model = TolvarRT::ContentViewOf(snapshot);
    view.Show(model);
    // The page grows with its tables when the event loop next turns.
    QCoreApplication::processEvents();

    EXPECT_EQ(view.ClockLabel().text(), QStringLiteral("Host clock synchronised, estimated error 2 ms"));
    EXPECT_EQ(view.SideTitle(0).text(), QStringLiteral("Listener"));
    EXPECT_EQ(gui::FromQt(view.SideNotes(0).text()), model.sides[0].notes.at(0));
    EXPECT_FALSE(view.SideTitle(1).isVisibleTo(&view)) << "a rover with no Source";
    const struct {
        View::eTable table;
        const TolvarRT::sContentTable& content;
    } tables[] = {{View::kStations, model.sides[0].stations},
                  {View::kAges, model.sides[0].ages},
                  {View::kEpochs, model.sides[0].epochs},
                  {View::kSatellites, model.sides[0].satellites}};
    int lastBottom = 0;
    for (const auto& t : tables) {
        const QTableWidget& table = view.Table(0, t.table);
        const int top = table.mapTo(view.widget(), QPoint(0, 0)).y();
        EXPECT_GE(top, lastBottom) << t.content.title << " lies below the table before it";
        lastBottom = top + table.height();
        EXPECT_TRUE(table.isVisibleTo(&view)) << t.content.title;
        EXPECT_EQ(Cells(table), Cells(t.content)) << t.content.title;
        // Fitted: every row and column shows without a scroll bar of its own.
        EXPECT_GE(table.height(), table.horizontalHeader()->height() + table.rowHeight(0) * table.rowCount())
            << t.content.title;
    }

    // Content that went (a reset): the tables hide rather than show old rows.
    snapshot.content = {};
    view.Show(TolvarRT::ContentViewOf(snapshot));
    EXPECT_FALSE(view.Table(0, View::kAges).isVisibleTo(&view));
    EXPECT_EQ(view.SideNotes(0).text(), QStringLiteral("No frames with epochs or station records yet"));
}

}  // namespace
