// The recent connections of one settings prefix written into and read back
// from a settings store, slot by slot, as the dialog keeps them.
#pragma once

#include <string>
#include <vector>

#include "app/recent_ports.h"
#include "app/settings_store.h"

namespace TolvarRT::testing {

inline void StoreRecent(ISettingsStore& store, const std::string& prefix, int slot, const sRecentPort& entry)
{
    const std::string section = CRecentPorts::SectionOf(slot);
    store.WriteText(section, prefix + "Port", entry.port);
    store.WriteText(section, prefix + "DataRate", entry.rate);
    store.WriteText(section, prefix + "Parity", entry.parity);
}

// All six slots, newest first, with the defaults of empty slots.
inline std::vector<sRecentPort> StoredRecents(const ISettingsStore& store, const std::string& prefix)
{
    std::vector<sRecentPort> stored;
    for (int slot = 0; slot < CRecentPorts::kSlots; ++slot) {
        const std::string section = CRecentPorts::SectionOf(slot);
        stored.push_back({store.ReadText(section, prefix + "Port", ""),
                          store.ReadText(section, prefix + "DataRate", "38400"),
                          store.ReadText(section, prefix + "Parity", "None")});
    }
    return stored;
}

}  // namespace TolvarRT::testing
