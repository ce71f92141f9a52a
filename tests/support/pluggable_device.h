// A serial adapter that can be pulled and plugged in again, played with
// pseudo-terminals: the port opens a link that points at the slave of the
// current pair, as udev's link of a re-plugged adapter points at whatever
// device node it got this time. Pulling closes the master, which hangs the
// slave up and removes its node; plugging makes a new pair and re-points the
// link at it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "pty_pair.h"
#include "temp_folder.h"

namespace TolvarRT::testing {

class PluggableDevice {
public:
    PluggableDevice() { Plug(); }

    // The path the port opens.
    const std::string& Path() const { return link; }
    PtyPair& Pty() { return *pty; }
    bool IsValid() const { return pty && pty->IsValid(); }

    void Pull() { pty->CloseMaster(); }
    // A new pair behind the same path; the link is replaced in one step, so the
    // port never finds it missing or half made.
    bool Plug()
    {
        pty = std::make_unique<PtyPair>();
        if (!pty->IsValid())
            return false;
        const std::string fresh = folder.File("device.new");
        std::remove(fresh.c_str());
        return ::symlink(pty->Path(), fresh.c_str()) == 0 && std::rename(fresh.c_str(), link.c_str()) == 0;
    }

private:
    TempFolder folder;
    std::string link = folder.File("device");
    std::unique_ptr<PtyPair> pty;
};

}  // namespace TolvarRT::testing
