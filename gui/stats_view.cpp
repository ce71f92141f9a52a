#include "gui/stats_view.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QTimerEvent>
#include <algorithm>
#include <cmath>

#include "app/tolvar_test_suite_doc.h"
#include "gui/gui_resources.h"
#include "gui/qt_text.h"

namespace gui {
namespace {

// In the table model's icon order: CMR, RTCM v2, NMEA, ATS, RTCM v3, CMR-W.
constexpr std::array<const char*, 6> kClassIconFiles = {
    ":/class_cmr.xpm", ":/class_rtcm2.xpm", ":/class_nmea.xpm",
    ":/class_ats.xpm", ":/class_rtcm3.xpm", ":/class_cmrw.xpm",
};

bool SameKeys(const std::vector<TolvarRT::sStatsRow>& rows, std::size_t from,
              const std::vector<TolvarRT::sStatsRow>& others, std::size_t otherFrom)
{
    return from < rows.size() && otherFrom < others.size() && rows[from].key == others[otherFrom].key;
}

}  // namespace

CStatsItemModel::CStatsItemModel(QObject* parent) : QAbstractTableModel(parent)
{
    LoadGuiResources();
}

int CStatsItemModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int CStatsItemModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(TolvarRT::kAllStatsColumns);
}

QVariant CStatsItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= rows.size() || index.column() >= columnCount())
        return {};
    const TolvarRT::sStatsRow& row = rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole: return ToQt(row.cells[std::size_t(index.column())]);
    case Qt::DecorationRole:
        if (index.column() == TolvarRT::kColumnName && row.icon >= 0)
            return ClassIcon(row.icon);
        return {};
    case Qt::TextAlignmentRole: return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    default: return {};
    }
}

QVariant CStatsItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(TolvarRT::CStatsTableModel::AllColumnHeaders()[std::size_t(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void CStatsItemModel::SetRows(std::vector<TolvarRT::sStatsRow> newRows)
{
    // The old keys must all still be there, in order; otherwise the table
    // model started again (a reset) and so do we.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < newRows.size() && kept < rows.size(); ++i) {
        if (SameKeys(rows, kept, newRows, i))
            ++kept;
    }
    if (kept != rows.size()) {
        beginResetModel();
        rows = std::move(newRows);
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < newRows.size(); ++i) {
        if (SameKeys(rows, i, newRows, i)) {
            if (rows[i].cells != newRows[i].cells) {
                rows[i] = std::move(newRows[i]);
                emit dataChanged(index(int(i), 0), index(int(i), columnCount() - 1), {Qt::DisplayRole});
            }
            continue;
        }
        beginInsertRows(QModelIndex(), int(i), int(i));
        rows.insert(rows.begin() + std::ptrdiff_t(i), std::move(newRows[i]));
        endInsertRows();
    }
}

void CStatsItemModel::Clear()
{
    beginResetModel();
    rows.clear();
    endResetModel();
}

std::uint32_t CStatsItemModel::KeyOf(int row) const
{
    return row >= 0 && std::size_t(row) < rows.size() ? rows[std::size_t(row)].key : 0;
}

QIcon CStatsItemModel::ClassIcon(int iconIndex)
{
    static const std::array<QIcon, kClassIconFiles.size()> icons = [] {
        std::array<QIcon, kClassIconFiles.size()> loaded;
        for (std::size_t i = 0; i < loaded.size(); ++i)
            loaded[i] = QIcon(QString::fromLatin1(kClassIconFiles[i]));
        return loaded;
    }();
    if (iconIndex < 0 || std::size_t(iconIndex) >= icons.size())
        return {};
    return icons[std::size_t(iconIndex)];
}

CStatsView::CStatsView(CTolvarTestSuiteDoc& doc, QWidget* parent) : QTableView(parent), document(doc)
{
    setModel(&rowsModel);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(false);
    setIconSize(QSize(32, 16));
    verticalHeader()->hide();
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    const QFontMetrics metrics = horizontalHeader()->fontMetrics();
    sizedByUser.assign(std::size_t(rowsModel.columnCount()), false);
    ownWidths.assign(std::size_t(rowsModel.columnCount()), 0);
    for (int column = 0; column < rowsModel.columnCount(); ++column) {
        const QString header = rowsModel.headerData(column, Qt::Horizontal).toString();
        SetColumnWidthOwn(column, metrics.horizontalAdvance(header) + kHeaderMargin);
    }
    // The latency distribution is for whoever asks for it: the twelve
    // columns already fill a test window.
    SetLatencyColumnsShown(document.Settings().ReadInt(kSettingsSection, kLatencyColumnsKey, 0) != 0);
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* latency = menu.addAction(QStringLiteral("Latency Distribution"));
        latency->setCheckable(true);
        latency->setChecked(LatencyColumnsShown());
        QAction* window =
            menu.addAction(QStringLiteral("Match Window (%1 s)...").arg(std::lround(document.MatchWindow())));
        QAction* chosen = menu.exec(horizontalHeader()->mapToGlobal(at));
        if (chosen == latency)
            ChooseLatencyColumns(!LatencyColumnsShown());
        else if (chosen == window)
            AskMatchWindow();
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!settingWidths && column >= 0 && std::size_t(column) < sizedByUser.size())
            sizedByUser[std::size_t(column)] = true;
    });
    connect(&rowsModel, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { WidenColumns(first, last); });
    connect(&rowsModel, &QAbstractItemModel::modelReset, this, [this] { WidenColumns(0, rowsModel.rowCount() - 1); });
    connect(&rowsModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) { WidenColumns(from.row(), to.row()); });
    refreshTimer.start(kRefreshPeriodMs, this);
}

void CStatsView::SetLatencyColumnsShown(bool shown)
{
    // Hiding and showing resize the sections: not the user's doing.
    const bool outer = settingWidths;
    settingWidths = true;
    for (unsigned column = TolvarRT::kColumnLatencyMin; column < TolvarRT::kAllStatsColumns; ++column)
        setColumnHidden(int(column), !shown);
    settingWidths = outer;
}

void CStatsView::SetColumnWidthOwn(int column, int width)
{
    const bool outer = settingWidths;
    settingWidths = true;
    ownWidths[std::size_t(column)] = width;
    setColumnWidth(column, width);
    settingWidths = outer;
}

bool CStatsView::SizedByUser(int column) const
{
    return column >= 0 && std::size_t(column) < sizedByUser.size() && sizedByUser[std::size_t(column)];
}

bool CStatsView::LatencyColumnsShown() const
{
    return !isColumnHidden(int(TolvarRT::kColumnLatencyMin));
}

void CStatsView::ChooseLatencyColumns(bool shown)
{
    SetLatencyColumnsShown(shown);
    document.Settings().WriteInt(kSettingsSection, kLatencyColumnsKey, shown ? 1 : 0);
}

void CStatsView::AskMatchWindow()
{
    bool accepted = false;
    const int seconds = QInputDialog::getInt(
        this, QStringLiteral("Match Window"),
        QStringLiteral("A frame sent longer ago than this is missed, not matched (seconds):"),
        int(std::lround(document.MatchWindow())), 1, int(CTolvarTestSuiteDoc::kMaxMatchWindowS), 1, &accepted);
    if (accepted)
        document.ChooseMatchWindow(unsigned(seconds));
}

void CStatsView::DeleteAllRows()
{
    rowsModel.Clear();
}

void CStatsView::OnFrameTimer(int timerId)
{
    if (timerId == kRefreshTimer)
        Refresh();
}

void CStatsView::Refresh()
{
    document.RefreshStatistics();
    rowsModel.SetRows(document.StatisticsRows());
}

void CStatsView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == refreshTimer.timerId()) {
        Refresh();
        return;
    }
    QTableView::timerEvent(event);
}

void CStatsView::WidenColumns(int firstRow, int lastRow)
{
    // Widths only grow: a column that jumped back and forth with its values
    // would make the table hard to read while it refreshes.
    const QFontMetrics metrics = fontMetrics();
    for (int column = 0; column < rowsModel.columnCount(); ++column) {
        if (SizedByUser(column))
            continue;
        const int margin = column == int(TolvarRT::kColumnName) ? kNameMargin : kHeaderMargin;
        int widest = 0;
        for (int row = std::max(firstRow, 0); row <= lastRow && row < rowsModel.rowCount(); ++row)
            widest =
                std::max(widest, metrics.horizontalAdvance(rowsModel.data(rowsModel.index(row, column)).toString()));
        if (widest > 0 && widest + margin > ownWidths[std::size_t(column)])
            SetColumnWidthOwn(column, widest + margin);
    }
}

}  // namespace gui
