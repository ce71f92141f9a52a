#include "gui/fixed_size_mdi_child_window.h"

#include <QCloseEvent>
#include <QToolBar>
#include <QVBoxLayout>

namespace gui {

CFixedSizeMDIChildWindow::CFixedSizeMDIChildWindow(QWidget* parent) : QMdiSubWindow(parent) {}

void CFixedSizeMDIChildWindow::SetView(QWidget* view)
{
    shownView = view;
    setWidget(view);
    fixedView = dynamic_cast<CFixedSizeView*>(view);
    QSize minimum;
    if (fixedView != nullptr && fixedView->FillMinTrackSize(minimum))
        setMinimumSize(minimum);
}

void CFixedSizeMDIChildWindow::AddToolBar(QToolBar* bar)
{
    QWidget* shown = widget();
    auto* client = new QWidget;
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    if (shown != nullptr)
        column->addWidget(shown, 1);
    setWidget(client);
    // A widget that changes its parent hides, and a new child of a shown
    // window stays hidden until shown.
    if (shown != nullptr)
        shown->show();
    client->show();
    toolBar = bar;
    setMinimumSize(minimumSizeHint());
}

QSize CFixedSizeMDIChildWindow::minimumSizeHint() const
{
    QSize minimum;
    if (fixedView != nullptr && fixedView->FillMinTrackSize(minimum))
        return toolBar == nullptr ? minimum : minimum + QSize(0, toolBar->sizeHint().height());
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
