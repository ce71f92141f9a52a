// The child window of the main window's work area that holds a fixed-size
// view: it keeps to the view's minimum size and closes only with its consent.
#pragma once

#include <QMdiSubWindow>

#include "gui/fixed_size_view.h"

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

    QSize minimumSizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CFixedSizeView* fixedView = nullptr;
};

}  // namespace gui
