// The position window's toolbar: the common NMEA source's two commands, the
// position log's two and the CMR sound, the same items on the view's context
// menu.
#pragma once

#include <vector>

class QAction;
class QToolBar;

namespace gui {

class CFixedSizeMDIChildWindow;
class CPositionView;

// The ids of the toolbar's items in order, 0 for the separator: the common
// source's connect and disconnect, the position log's open and close, the
// CMR sound.
const std::vector<unsigned>& PositionToolBarItems();

// Gives frame, which holds view, the toolbar, and view the same items as
// its context menu. The common source's actions are the main window's,
// which keeps them enabled by the source's state; the view keeps its own.
QToolBar* AddPositionToolBar(CFixedSizeMDIChildWindow& frame, CPositionView& view, QAction* connectCommon,
                             QAction* disconnectCommon);

}  // namespace gui
