// Settings in a map.
#include "app/memory_settings_store.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

}  // namespace

std::size_t CMemorySettingsStore::Count() const
{
    std::lock_guard<std::mutex> guard(lock);
    return values.size();
}

std::optional<std::string> CMemorySettingsStore::Find(Space space, std::string_view section, std::string_view key) const
{
    std::lock_guard<std::mutex> guard(lock);
    const auto found = values.find(Name(space, Lower(section), Lower(key)));
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

bool CMemorySettingsStore::Store(Space space, std::string_view section, std::string_view key, std::string_view text)
{
    std::lock_guard<std::mutex> guard(lock);
    values[Name(space, Lower(section), Lower(key))] = std::string(text);
    return true;
}
