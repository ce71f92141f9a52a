// The statistics table of a test window: one row per frame key with the cells
// the core's statistics table model computes, redrawn twice a second.
#pragma once

#include <QAbstractTableModel>
#include <QBasicTimer>
#include <QIcon>
#include <QTableView>
#include <array>
#include <cstdint>
#include <vector>

#include "stats/stats_table_model.h"

class CTolvarTestSuiteDoc;

namespace gui {

// The rows of the statistics table as a Qt model. Rows are only added in key
// order while the keys stay, so a user's selection and scroll position survive
// the refreshes; a reset of the statistics starts the rows again.
//
// Thread rules: user-interface thread only.
class CStatsItemModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CStatsItemModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes the rows as the core's table model gives them (ascending key).
    void SetRows(std::vector<TolvarRT::sStatsRow> newRows);
    void Clear();

    // The frame key a row stands for.
    std::uint32_t KeyOf(int row) const;

    // The class icons by the table model's icon index; null icon for -1.
    static QIcon ClassIcon(int iconIndex);

private:
    std::vector<TolvarRT::sStatsRow> rows;
};

// Thread rules: user-interface thread only. Reads the statistics only through
// the document's table refresh, which takes the collections' own locks.
class CStatsView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRefreshTimer = 122;
    static constexpr int kRefreshPeriodMs = 500;
    // Column widths: the header's text plus this margin; the name column, which
    // also shows the class icon, its longest name plus kNameMargin.
    static constexpr int kHeaderMargin = 16;
    static constexpr int kNameMargin = 38;

    // Whether the latency distribution columns show, stored for the next window.
    static constexpr const char* kSettingsSection = "Settings";
    static constexpr const char* kLatencyColumnsKey = "LatencyColumns";

    explicit CStatsView(CTolvarTestSuiteDoc& document, QWidget* parent = nullptr);

    // What the header's context menu does: shows or hides the latency
    // distribution and remembers the choice.
    void ChooseLatencyColumns(bool shown);
    bool LatencyColumnsShown() const;

    // The header's "Match Window" entry: asks how long a sent frame may take
    // to arrive and still be matched, and has the document apply and keep it.
    void AskMatchWindow();

    // "Reset Statistics": the rows go; they come back as frames arrive.
    void DeleteAllRows();
    // The test window forwards its own timers here; the view refreshes on its
    // own timer only.
    void OnFrameTimer(int timerId);
    // What every tick does: bring the rows up to date with the statistics.
    void Refresh();

    CStatsItemModel& Rows() { return rowsModel; }
    // Whether the user has sized this column: it then keeps the user's width.
    bool SizedByUser(int column) const;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    // Every column the user has not sized is at least as wide as the widest
    // value it has shown so far (the name column with its icon).
    void WidenColumns(int firstRow, int lastRow);
    void SetColumnWidthOwn(int column, int width);
    void SetLatencyColumnsShown(bool shown);

    CTolvarTestSuiteDoc& document;
    CStatsItemModel rowsModel;
    QBasicTimer refreshTimer;
    std::vector<bool> sizedByUser;
    // The width the view gave each column (a hidden column keeps it too).
    std::vector<int> ownWidths;
    // True while the view sets widths itself, so a resize is not the user's.
    bool settingWidths = false;
};

}  // namespace gui
