// Recent connections and their button captions.
#include "app/recent_ports.h"

#include "app/choice_list.h"
#include "core/ascii_case.h"

namespace {

constexpr std::string_view kDefaultRate = "38400";
constexpr std::string_view kDefaultParity = "None";

}  // namespace

RecentPortKind KindOfPortText(std::string_view port)
{
    if (port.empty())
        return RecentPortKind::empty;
    if (TolvarRT::StartsWithIgnoringCase(port, "UDP:"))
        return RecentPortKind::udp;
    if (TolvarRT::StartsWithIgnoringCase(port, "TCP:"))
        return RecentPortKind::tcp;
    if (TolvarRT::StartsWithIgnoringCase(port, "NTRIP:"))
        return RecentPortKind::ntrip;
    if (TolvarRT::StartsWithIgnoringCase(port, "TCPSVR:"))
        return RecentPortKind::tcpServer;
    if (TolvarRT::StartsWithIgnoringCase(port, "FILE:"))
        return RecentPortKind::file;
    if (TolvarRT::StartsWithIgnoringCase(port, "CAN"))
        return RecentPortKind::can;
    return RecentPortKind::serial;
}

std::optional<std::string> RecentCaption(const sRecentPort& entry, bool allowNetwork, bool allowCan)
{
    switch (KindOfPortText(entry.port)) {
    case RecentPortKind::empty: return std::nullopt;
    case RecentPortKind::udp:
    case RecentPortKind::tcp:
    case RecentPortKind::ntrip:
    case RecentPortKind::tcpServer:
    case RecentPortKind::file:
        if (!allowNetwork)
            return std::nullopt;
        return entry.port;
    case RecentPortKind::can:
        if (!allowCan)
            return std::nullopt;
        return entry.port + ", " + entry.rate;
    case RecentPortKind::serial: break;
    }
    return entry.port + ", " + entry.rate + " bps, Parity " + entry.parity;
}

std::string CRecentPorts::SectionOf(int slot)
{
    return "Settings\\Recent" + std::to_string(slot);
}

CRecentPorts::CRecentPorts(ISettingsStore& settingsStore, std::string settingsPrefix)
    : store(settingsStore), prefix(std::move(settingsPrefix))
{
}

void CRecentPorts::Load()
{
    for (int slot = 0; slot < kSlots; ++slot) {
        const std::string section = SectionOf(slot);
        entries[slot].port = store.ReadText(section, prefix + "Port", "");
        entries[slot].rate = store.ReadText(section, prefix + "DataRate", kDefaultRate);
        entries[slot].parity = store.ReadText(section, prefix + "Parity", kDefaultParity);
    }
}

const sRecentPort& CRecentPorts::Slot(int slot) const
{
    static const sRecentPort kEmpty;
    return slot >= 0 && slot < kSlots ? entries[slot] : kEmpty;
}

void CRecentPorts::Use(const sRecentPort& entry)
{
    int found = kSlots - 1;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (entries[slot] == entry) {
            found = slot;
            break;
        }
    }
    // Without a match the last slot is the one that drops out.
    for (int slot = found; slot > 0; --slot)
        entries[slot] = entries[slot - 1];
    entries[0] = entry;
    for (int slot = found; slot >= 0; --slot)
        WriteSlot(slot);
}

void CRecentPorts::WriteSlot(int slot)
{
    const std::string section = SectionOf(slot);
    store.WriteText(section, prefix + "Port", entries[slot].port);
    store.WriteText(section, prefix + "DataRate", entries[slot].rate);
    store.WriteText(section, prefix + "Parity", entries[slot].parity);
}
