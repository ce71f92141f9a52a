#include "gui/fixed_size_mdi_child_window.h"

#include <QCloseEvent>

namespace gui {

CFixedSizeMDIChildWindow::CFixedSizeMDIChildWindow(QWidget* parent) : QMdiSubWindow(parent) {}

void CFixedSizeMDIChildWindow::SetView(QWidget* view)
{
    setWidget(view);
    fixedView = dynamic_cast<CFixedSizeView*>(view);
    QSize minimum;
    if (fixedView != nullptr && fixedView->FillMinTrackSize(minimum))
        setMinimumSize(minimum);
}

QSize CFixedSizeMDIChildWindow::minimumSizeHint() const
{
    QSize minimum;
    if (fixedView != nullptr && fixedView->FillMinTrackSize(minimum))
        return minimum;
    return QMdiSubWindow::minimumSizeHint();
}

void CFixedSizeMDIChildWindow::closeEvent(QCloseEvent* event)
{
    if (fixedView != nullptr && !fixedView->CanCloseFrame()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace gui
