// The Stream Content window's view: the host clock's state, then per side
// (the Listener, the Source while there is one) its notes and its tables of
// stations, correction ages, epochs and satellites, as the core's content
// model words them. It redraws when the statistics table refreshes.
#pragma once

#include <QScrollArea>
#include <array>

#include "stats/content_view_model.h"

class CTolvarTestSuiteDoc;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QTableWidget;

namespace gui {

// Thread rules: user-interface thread only. Reads the content only through
// the document, whose statistics refresh calls it back.
class CContentView : public QScrollArea {
    Q_OBJECT
public:
    // The tables of a side, in the order they are shown.
    enum eTable : unsigned { kStations, kAges, kEpochs, kSatellites, kTables };
    static constexpr unsigned kSides = 2;

    explicit CContentView(CTolvarTestSuiteDoc& document, QWidget* parent = nullptr);
    ~CContentView() override;

    // Shows view; a side or a table that is absent or has no rows hides.
    void Show(const TolvarRT::sContentView& view);
    const TolvarRT::sContentView& Shown() const { return shown; }

    QLabel& ClockLabel() { return *clockLabel; }
    QLabel& SideTitle(unsigned side) { return *sides[side].title; }
    QLabel& SideNotes(unsigned side) { return *sides[side].notes; }
    QTableWidget& Table(unsigned side, eTable table) { return *sides[side].tables[table]; }

private:
    struct sSideWidgets {
        QWidget* panel = nullptr;
        QLabel* title = nullptr;
        QLabel* notes = nullptr;
        std::array<QLabel*, kTables> captions{};
        std::array<QTableWidget*, kTables> tables{};
    };
    void ShowSide(sSideWidgets& widgets, const TolvarRT::sContentSide& side);
    static void ShowTable(QLabel& caption, QTableWidget& table, const TolvarRT::sContentTable& content);

    CTolvarTestSuiteDoc& document;
    TolvarRT::sContentView shown;
    QLabel* clockLabel = nullptr;
    std::array<sSideWidgets, kSides> sides;
};

// Opens a Stream Content window for document in area and shows it, filled
// at once.
QMdiSubWindow* OpenContentWindow(QMdiArea& area, CTolvarTestSuiteDoc& document);

}  // namespace gui
