// The built-in emulated radio link that "--demo" connects the active test to,
// so that a new user sees a live test at once: the Listener on the rover's
// side, the Source on the base's side generating fake CMRs.
#pragma once

#include <memory>
#include <string>

#include "sim/emulated_radio_link.h"

namespace gui {

class CMainFrame;

// Thread rules: the user-interface thread only. The link must outlive the
// connections: the main window's test closes its ports before the link goes.
class CDemoLink {
public:
    static constexpr unsigned kBaudRate = 115200;

    CDemoLink();
    ~CDemoLink();

    // Starts the link and connects both sides of the active test through the
    // same commands a user runs, with the port dialogs answered beforehand.
    // False with a reason when the link cannot start or a port cannot open.
    bool Connect(CMainFrame& mainFrame, std::string& error);

private:
    std::unique_ptr<TolvarRT::CEmulatedRadioLink> link;
};

}  // namespace gui
