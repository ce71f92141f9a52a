// The child window of the main window's work area that holds a fixed-size
// view: it keeps to the view's minimum size and closes only with its consent.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "gui/fixed_size_view.h"

class QToolBar;

namespace gui {

// Thread rules: user-interface thread only.
class CFixedSizeMDIChildWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CFixedSizeMDIChildWindow(QWidget* parent = nullptr);

    // Takes view as the window's widget; a view that offers CFixedSizeView is
    // asked for its minimum size and before closing.
    void SetView(QWidget* view);
    CFixedSizeView* FixedSizeView() const { return fixedView; }
    // The view, also once a toolbar shares the frame with it.
    QWidget* View() const { return shownView; }
    // Puts bar above the view, as the frame's toolbar; the frame's minimum
    // grows by the bar's height, so that the view keeps its own.
    void AddToolBar(QToolBar* bar);
    QToolBar* ToolBar() const { return toolBar; }

    QSize minimumSizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CFixedSizeView* fixedView = nullptr;
    QPointer<QWidget> shownView;
    QToolBar* toolBar = nullptr;
};

}  // namespace gui
