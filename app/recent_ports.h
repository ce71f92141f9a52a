// The six connections last opened through one connection's port settings,
// newest first, as kept in the settings store.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings_store.h"

// One recent connection, texts exactly as stored. Network entries have empty
// rate and parity texts, CAN entries an empty parity text.
struct sRecentPort {
    std::string port;
    std::string rate;
    std::string parity;

    bool IsEmpty() const { return port.empty(); }
    bool operator==(const sRecentPort&) const = default;
};

// What a port text names. The prefixes are matched ignoring case, as the
// port factory does.
enum class RecentPortKind { empty, udp, tcp, ntrip, tcpServer, file, can, serial };
RecentPortKind KindOfPortText(std::string_view port);

// The caption of a recent button, none when the button is hidden: network
// entries (NTRIP, TCP server and file ones too) show their text and need the
// network modes, CAN entries show port
// and rate and need the CAN mode, serial entries show port, rate and parity.
std::optional<std::string> RecentCaption(const sRecentPort& entry, bool allowNetwork, bool allowCan);

// Thread rules: one thread (the user-interface thread); the store is shared.
class CRecentPorts {
public:
    static constexpr int kSlots = 6;

    // Section of one slot: "Settings\Recent0" to "Settings\Recent5".
    static std::string SectionOf(int slot);

    CRecentPorts(ISettingsStore& store, std::string settingsPrefix);

    // Reads the six slots.
    void Load();
    // Slot 0 to 5; an empty entry past the range.
    const sRecentPort& Slot(int slot) const;

    // Makes entry the newest: an equal entry (all three texts) moves to the
    // front and only the slots from its old place up are written; a new one
    // pushes the others down, drops the oldest and writes all six.
    void Use(const sRecentPort& entry);

private:
    void WriteSlot(int slot);

    ISettingsStore& store;
    const std::string prefix;
    std::array<sRecentPort, kSlots> entries;  // not "slots": a macro of Qt's
};
