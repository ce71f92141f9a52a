// Where the main window was when it last closed, kept in the settings store
// as one 44-byte placement record ("Settings"/"WindowPlacement").
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/settings_store.h"

// Eleven 32-bit little-endian fields in this order: the record's length
// (44), flags, show state, the minimised position (x, y), the maximised
// position (x, y) and the normal rectangle (left, top, right, bottom).
struct sWindowPlacement {
    static constexpr std::size_t kBytes = 44;
    enum ShowState : std::uint32_t { kHidden = 0, kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3 };

    std::uint32_t flags = 0;
    std::uint32_t showState = kShowNormal;
    std::int32_t minX = -1, minY = -1;
    std::int32_t maxX = -1, maxY = -1;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;

    bool operator==(const sWindowPlacement&) const = default;
};

std::vector<std::uint8_t> EncodeWindowPlacement(const sWindowPlacement& placement);
// Nothing unless the block is exactly one record long.
std::optional<sWindowPlacement> DecodeWindowPlacement(const std::vector<std::uint8_t>& bytes);

// The stored placement as a window comes back with it: its position and
// size, never minimised or maximised, and with no flags. Nothing when none
// (or a block of another length) is stored.
std::optional<sWindowPlacement> ReadWindowPlacement(const ISettingsStore& settings);
bool WriteWindowPlacement(ISettingsStore& settings, const sWindowPlacement& placement);
