#include "gui/position_tool_bar.h"

#include <QAction>
#include <QToolBar>

#include "app/common_nmea_source.h"
#include "gui/command_table.h"
#include "gui/fixed_size_mdi_child_window.h"
#include "gui/position_view.h"

namespace gui {
namespace {

namespace Shell = ShellCommand;
namespace App = ApplicationCommand;

// The view's own actions take their prompt and icon from the command table,
// as the main window's do.
void Describe(QAction* action, unsigned id)
{
    const sCommandInfo& info = CommandInfo(id);
    action->setStatusTip(StatusTip(info));
    action->setToolTip(ToolTip(info));
    if (info.icon != nullptr)
        action->setIcon(QIcon(QString::fromLatin1(info.icon)));
}

}  // namespace

const std::vector<unsigned>& PositionToolBarItems()
{
    static const std::vector<unsigned> items = {
        App::kConnectCommonNmea, App::kDisconnectCommonNmea, Shell::kSeparator,
        Shell::kOpenPositionLog, Shell::kClosePositionLog,   Shell::kCmrSound,
    };
    return items;
}

QToolBar* AddPositionToolBar(CFixedSizeMDIChildWindow& frame, CPositionView& view, QAction* connectCommon,
                             QAction* disconnectCommon)
{
    Describe(view.OpenLogAction(), Shell::kOpenPositionLog);
    Describe(view.CloseLogAction(), Shell::kClosePositionLog);
    Describe(view.SoundAction(), Shell::kCmrSound);
    const auto actionOf = [&](unsigned id) -> QAction* {
        switch (id) {
        case App::kConnectCommonNmea: return connectCommon;
        case App::kDisconnectCommonNmea: return disconnectCommon;
        case Shell::kOpenPositionLog: return view.OpenLogAction();
        case Shell::kClosePositionLog: return view.CloseLogAction();
        case Shell::kCmrSound: return view.SoundAction();
        default: return nullptr;
        }
    };

    auto* bar = new QToolBar(QStringLiteral("Position"));
    bar->setObjectName(QStringLiteral("positionToolBar"));
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(false);
    view.setContextMenuPolicy(Qt::ActionsContextMenu);
    for (unsigned id : PositionToolBarItems()) {
        if (id == Shell::kSeparator) {
            bar->addSeparator();
            auto* separator = new QAction(&view);
            separator->setSeparator(true);
            view.addAction(separator);
        } else if (QAction* action = actionOf(id)) {
            bar->addAction(action);
            view.addAction(action);
        }
    }
    frame.AddToolBar(bar);
    return bar;
}

}  // namespace gui
