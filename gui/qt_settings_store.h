// The desktop program's settings in the platform's per-user store (QSettings
// under organisation "Vendra", application "TolvarTestSuite"), every value
// in the same text form as the command line's INI file.
#pragma once

#include <QString>
#include <memory>
#include <mutex>

#include "app/text_settings_store.h"

class QSettings;

namespace gui {

// Sections and keys keep the case they were first written in; later writes
// and reads find them whatever case they use. The profile strings live in a
// store of their own (application name + " Profile").
//
// Thread rules: as ISettingsStore; one lock serialises the QSettings calls.
class CQtSettingsStore : public CTextSettingsStore {
public:
    static constexpr const char* kOrganisation = "Vendra";
    static constexpr const char* kApplication = "TolvarTestSuite";

    explicit CQtSettingsStore(const QString& organisation = kOrganisation, const QString& application = kApplication);
    ~CQtSettingsStore() override;

protected:
    std::optional<std::string> Find(Space space, std::string_view section, std::string_view key) const override;
    bool Store(Space space, std::string_view section, std::string_view key, std::string_view text) override;

private:
    QSettings& In(Space space) const;

    mutable std::mutex lock;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<QSettings> profile;
};

}  // namespace gui
