#include "gui/gui_resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE names a function in the global namespace, so it cannot be
// called from inside namespace gui.
static void InitGuiQrc()
{
    Q_INIT_RESOURCE(gui);
}

namespace gui {

void LoadGuiResources()
{
    static std::once_flag once;
    std::call_once(once, InitGuiQrc);
}

}  // namespace gui
