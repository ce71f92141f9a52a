// The images and sounds of res/gui.qrc live in the static widget library,
// whose linker drops the resource's self-registration unless someone asks for
// it: every widget that uses a ":/" path calls this first.
#pragma once

namespace gui {

// Registers res/gui.qrc once per process; cheap to call again.
void LoadGuiResources();

}  // namespace gui
