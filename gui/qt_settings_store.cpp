#include "gui/qt_settings_store.h"

#include <QSettings>
#include <QStringList>

#include "gui/qt_text.h"

namespace gui {
namespace {

QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString Matching(const QStringList& names, const QString& name)
{
    for (const QString& existing : names)
        if (existing.compare(name, Qt::CaseInsensitive) == 0)
            return existing;
    return name;
}

// The full key "Group/Sub/Key" of section "Group\Sub" and key "Key", in the
// case of what is stored already.
QString StoredKey(QSettings& settings, std::string_view section, std::string_view key)
{
    QStringList path;
    for (const QString& part : Latin1(section).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        const QString group = Matching(settings.childGroups(), part);
        settings.beginGroup(group);
        path << group;
    }
    path << Matching(settings.childKeys(), Latin1(key));
    for (qsizetype i = 1; i < path.size(); ++i)
        settings.endGroup();
    return path.join(QLatin1Char('/'));
}

}  // namespace

CQtSettingsStore::CQtSettingsStore(const QString& organisation, const QString& application)
    : settings(std::make_unique<QSettings>(organisation, application)),
      profile(std::make_unique<QSettings>(organisation, application + " Profile"))
{
}

CQtSettingsStore::~CQtSettingsStore() = default;

QSettings& CQtSettingsStore::In(Space space) const
{
    return space == Space::profile ? *profile : *settings;
}

std::optional<std::string> CQtSettingsStore::Find(Space space, std::string_view section, std::string_view key) const
{
    std::lock_guard<std::mutex> guard(lock);
    QSettings& store = In(space);
    const QVariant value = store.value(StoredKey(store, section, key));
    if (!value.isValid() || !value.canConvert<QString>())
        return std::nullopt;
    return FromQt(value.toString());
}

bool CQtSettingsStore::Store(Space space, std::string_view section, std::string_view key, std::string_view text)
{
    std::lock_guard<std::mutex> guard(lock);
    QSettings& store = In(space);
    store.setValue(StoredKey(store, section, key), Latin1(text));
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace gui
