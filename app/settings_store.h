// The per-user settings of the application and the per-user profile strings,
// behind one seam so that the desktop program, the command line and the tests
// each keep them their own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Settings are named by section and key; sections nest with a backslash
// ("Settings\Recent0"). Section and key names match without regard to ASCII
// case, as the platform stores of the desktop do. The profile strings
// ("Settings"/"LogPath", "Settings"/"PositionLogPath") are a namespace of their
// own: a profile text never answers for a setting of the same name.
//
// A value that is missing, or stored in a form the reader cannot take (an
// integer that is not a number, a byte block that is not hex), reads as the
// default. Writes report whether the value was kept for good; a failed write
// never throws.
//
// Thread rules: every implementation may be called from any thread; each
// operation is atomic on its own, a sequence of them is not.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;

    virtual int ReadInt(std::string_view section, std::string_view key, int defaultValue) const = 0;
    virtual bool WriteInt(std::string_view section, std::string_view key, int value) = 0;

    virtual std::string ReadText(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const = 0;
    virtual bool WriteText(std::string_view section, std::string_view key, std::string_view value) = 0;

    // Empty optional when nothing (or nothing readable) is stored.
    virtual std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view section,
                                                               std::string_view key) const = 0;
    virtual bool WriteBytes(std::string_view section, std::string_view key, const std::vector<std::uint8_t>& value) = 0;

    virtual std::string ReadProfileText(std::string_view section, std::string_view key,
                                        std::string_view defaultValue) const = 0;
    virtual bool WriteProfileText(std::string_view section, std::string_view key, std::string_view value) = 0;
};
