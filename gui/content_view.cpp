#include "gui/content_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/tolvar_test_suite_doc.h"
#include "gui/qt_text.h"

namespace gui {
namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 600;

QString Lines(const std::vector<std::string>& lines)
{
    QStringList texts;
    for (const std::string& line : lines)
        texts << ToQt(line);
    return texts.join(QLatin1Char('\n'));
}

QLabel* Caption(QWidget* parent, int pixelSizeStep)
{
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setBold(true);
    if (pixelSizeStep != 0 && font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() + pixelSizeStep);
    label->setFont(font);
    return label;
}

// A table as tall and as wide as its cells: the window scrolls, not each table.
QTableWidget* FittedTable(QWidget* parent)
{
    auto* table = new QTableWidget(parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::ContiguousSelection);
    table->setWordWrap(false);
    table->setShowGrid(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setHighlightSections(false);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return table;
}

}  // namespace

CContentView::CContentView(CTolvarTestSuiteDoc& doc, QWidget* parent) : QScrollArea(parent), document(doc)
{
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    clockLabel = new QLabel(page);
    // The leap-second line names a path and a date: wrapped rather than cut off.
    clockLabel->setWordWrap(true);
    clockLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(clockLabel);
    for (sSideWidgets& side : sides) {
        side.panel = new QWidget(page);
        auto* panelColumn = new QVBoxLayout(side.panel);
        panelColumn->setContentsMargins(0, 8, 0, 0);
        side.title = Caption(side.panel, 2);
        side.notes = new QLabel(side.panel);
        side.notes->setWordWrap(true);
        side.notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
        panelColumn->addWidget(side.title);
        panelColumn->addWidget(side.notes);
        for (unsigned which = 0; which < kTables; ++which) {
            side.captions[which] = Caption(side.panel, 0);
            side.tables[which] = FittedTable(side.panel);
            panelColumn->addWidget(side.captions[which]);
            panelColumn->addWidget(side.tables[which]);
        }
        column->addWidget(side.panel);
    }
    column->addStretch(1);
    setWidget(page);
    setWidgetResizable(true);

    document.WatchContent([this] { Show(document.ContentView()); });
    document.RefreshContent();
    Show(document.ContentView());
}

CContentView::~CContentView()
{
    document.WatchContent(nullptr);
}

void CContentView::Show(const TolvarRT::sContentView& view)
{
    shown = view;
    clockLabel->setText(Lines(view.clock));
    for (unsigned side = 0; side < kSides; ++side) {
        sSideWidgets& widgets = sides[side];
        widgets.panel->setVisible(side < view.sides.size());
        if (side < view.sides.size())
            ShowSide(widgets, view.sides[side]);
    }
}

void CContentView::ShowSide(sSideWidgets& widgets, const TolvarRT::sContentSide& side)
{
    widgets.title->setText(ToQt(side.title));
    widgets.notes->setText(Lines(side.notes));
    widgets.notes->setVisible(!side.notes.empty());
    const std::array<const TolvarRT::sContentTable*, kTables> tables = {&side.stations, &side.ages, &side.epochs,
                                                                        &side.satellites};
    for (unsigned which = 0; which < kTables; ++which)
        ShowTable(*widgets.captions[which], *widgets.tables[which], *tables[which]);
}

void CContentView::ShowTable(QLabel& caption, QTableWidget& table, const TolvarRT::sContentTable& content)
{
    const bool any = !content.rows.empty();
    caption.setVisible(any);
    table.setVisible(any);
    if (!any)
        return;
    caption.setText(ToQt(content.title));
    const int columns = int(content.headers.size());
    const int rows = int(content.rows.size());
    if (table.columnCount() != columns)
        table.setColumnCount(columns);
    if (table.rowCount() != rows)
        table.setRowCount(rows);
    for (int column = 0; column < columns; ++column) {
        const QString header = ToQt(content.headers[std::size_t(column)]);
        QTableWidgetItem* item = table.horizontalHeaderItem(column);
        if (item == nullptr)
            table.setHorizontalHeaderItem(column, new QTableWidgetItem(header));
        else if (item->text() != header)
            item->setText(header);
    }
    // Items are kept and only their texts change, so a selection survives the refreshes.
    for (int row = 0; row < rows; ++row) {
        const std::vector<std::string>& cells = content.rows[std::size_t(row)];
        for (int column = 0; column < columns; ++column) {
            const QString text = std::size_t(column) < cells.size() ? ToQt(cells[std::size_t(column)]) : QString();
            QTableWidgetItem* item = table.item(row, column);
            if (item == nullptr) {
                item = new QTableWidgetItem(text);
                // The first column names the row; figures line up on the right.
                item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::AlignRight | Qt::AlignVCenter);
                table.setItem(row, column, item);
            } else if (item->text() != text) {
                item->setText(text);
            }
        }
    }
    table.resizeColumnsToContents();
    table.resizeRowsToContents();
    // Sized from its sections: a scroll area's own hint lags a change of rows.
    const int frame = 2 * table.frameWidth();
    table.setFixedSize(frame + table.horizontalHeader()->length(),
                       frame + table.horizontalHeader()->sizeHint().height() + table.verticalHeader()->length());
}

QMdiSubWindow* OpenContentWindow(QMdiArea& area, CTolvarTestSuiteDoc& document)
{
    auto* frame = new QMdiSubWindow;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setWidget(new CContentView(document));
    frame->setWindowTitle(QStringLiteral("Stream Content"));
    area.addSubWindow(frame);
    frame->resize(kWindowWidth, kWindowHeight);
    frame->show();
    return frame;
}

}  // namespace gui
