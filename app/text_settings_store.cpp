// Typed settings over text values.
#include "app/text_settings_store.h"

#include <charconv>

#include "core/hex_digit.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<int> CTextSettingsStore::ParseInt(std::string_view text)
{
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::vector<std::uint8_t>> CTextSettingsStore::ParseHex(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            return std::nullopt;
        const int high = TolvarRT::HexDigitValue(text[i]);
        const int low = TolvarRT::HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

std::string CTextSettingsStore::FormatHex(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0f]);
    }
    return text;
}

int CTextSettingsStore::ReadInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const std::optional<std::string> text = Find(Space::settings, section, key);
    if (!text)
        return defaultValue;
    return ParseInt(*text).value_or(defaultValue);
}

bool CTextSettingsStore::WriteInt(std::string_view section, std::string_view key, int value)
{
    return Store(Space::settings, section, key, std::to_string(value));
}

std::string CTextSettingsStore::ReadText(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const
{
    return Find(Space::settings, section, key).value_or(std::string(defaultValue));
}

bool CTextSettingsStore::WriteText(std::string_view section, std::string_view key, std::string_view value)
{
    return Store(Space::settings, section, key, value);
}

std::optional<std::vector<std::uint8_t>> CTextSettingsStore::ReadBytes(std::string_view section,
                                                                       std::string_view key) const
{
    const std::optional<std::string> text = Find(Space::settings, section, key);
    if (!text)
        return std::nullopt;
    return ParseHex(*text);
}

bool CTextSettingsStore::WriteBytes(std::string_view section, std::string_view key,
                                    const std::vector<std::uint8_t>& value)
{
    return Store(Space::settings, section, key, FormatHex(value));
}

std::string CTextSettingsStore::ReadProfileText(std::string_view section, std::string_view key,
                                                std::string_view defaultValue) const
{
    return Find(Space::profile, section, key).value_or(std::string(defaultValue));
}

bool CTextSettingsStore::WriteProfileText(std::string_view section, std::string_view key, std::string_view value)
{
    return Store(Space::profile, section, key, value);
}
