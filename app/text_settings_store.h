// The typed settings operations over a store that keeps every value as text:
// integers in decimal, byte blocks in hex. The memory and INI stores share it,
// so a value reads back the same from either.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/settings_store.h"

// Thread rules: as ISettingsStore; Find and Store must be atomic on their own.
class CTextSettingsStore : public ISettingsStore {
public:
    int ReadInt(std::string_view section, std::string_view key, int defaultValue) const final;
    bool WriteInt(std::string_view section, std::string_view key, int value) final;
    std::string ReadText(std::string_view section, std::string_view key, std::string_view defaultValue) const final;
    bool WriteText(std::string_view section, std::string_view key, std::string_view value) final;
    std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view section, std::string_view key) const final;
    bool WriteBytes(std::string_view section, std::string_view key, const std::vector<std::uint8_t>& value) final;
    std::string ReadProfileText(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const final;
    bool WriteProfileText(std::string_view section, std::string_view key, std::string_view value) final;

    // The text forms, public for the stores' own readers: a decimal integer
    // with optional sign and surrounding blanks, in range; hex pairs in either
    // case, blanks between pairs allowed.
    static std::optional<int> ParseInt(std::string_view text);
    static std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);
    static std::string FormatHex(const std::vector<std::uint8_t>& bytes);

protected:
    enum class Space { settings, profile };

    virtual std::optional<std::string> Find(Space space, std::string_view section, std::string_view key) const = 0;
    virtual bool Store(Space space, std::string_view section, std::string_view key, std::string_view text) = 0;
};

// Text helpers of the stores.
// Without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);
