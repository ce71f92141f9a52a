// Settings kept in memory only: the store of the tests, and of a front end
// that must not touch the user's files.
#pragma once

#include <map>
#include <mutex>
#include <tuple>

#include "app/text_settings_store.h"

// Thread rules: any thread; one internal lock guards the values.
class CMemorySettingsStore : public CTextSettingsStore {
public:
    // How many values (settings and profile texts) are stored.
    std::size_t Count() const;

protected:
    std::optional<std::string> Find(Space space, std::string_view section, std::string_view key) const override;
    bool Store(Space space, std::string_view section, std::string_view key, std::string_view text) override;

private:
    // Names are kept in lower case, so lookups ignore case.
    using Name = std::tuple<Space, std::string, std::string>;

    mutable std::mutex lock;
    std::map<Name, std::string> values;
};
