// The QSettings store answers as every store does, keeps the names' first
// case, and lives where the platform's settings of the application live:
// here always under a scratch folder, never the user's own settings.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "gui/qt_settings_store.h"
#include "settings_store_contract.h"

namespace {

using TolvarRT::testing::AnyStoreTest;
using TolvarRT::testing::StoreKind;

// Every QSettings of this process reads and writes below this folder.
const QTemporaryDir& ScratchSettings()
{
    static QTemporaryDir folder;
    static const bool redirected = [] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
        return true;
    }();
    (void)redirected;
    return folder;
}

// A store of its own for every test.
std::unique_ptr<ISettingsStore> FreshStore()
{
    static int count = 0;
    ScratchSettings();
    return std::make_unique<gui::CQtSettingsStore>(QStringLiteral("VendraTest"),
                                                   QStringLiteral("Store%1").arg(++count));
}

INSTANTIATE_TEST_SUITE_P(Qt, AnyStoreTest, ::testing::Values(StoreKind{"QSettings", FreshStore}),
                         TolvarRT::testing::StoreKindName);

TEST(QtSettingsStoreTest, ValuesLandInTheApplicationsSettingsUnderTheirFirstCase)
{
    ASSERT_TRUE(ScratchSettings().isValid());
    {
        gui::CQtSettingsStore store(QStringLiteral("Vendra"), QStringLiteral("TolvarTestSuiteStoreTest"));
        store.WriteInt("Settings", "LogLevel", 3);
        store.WriteInt("SETTINGS", "LOGLEVEL", 1);
        store.WriteText("Settings\\Recent0", "ListenerPort", "COM4");
        store.WriteBytes("Settings", "WindowPlacement", {0x2c, 0x00, 0xff});
        store.WriteProfileText("Settings", "LogPath", "/tmp/link.txt");
    }
    QSettings settings(QStringLiteral("Vendra"), QStringLiteral("TolvarTestSuiteStoreTest"));
    EXPECT_TRUE(settings.fileName().startsWith(ScratchSettings().path())) << "never the user's own settings";
    EXPECT_EQ(settings.value(QStringLiteral("Settings/LogLevel")).toString(), QStringLiteral("1"));
    EXPECT_EQ(settings.allKeys().size(), 3) << "one key whatever the case";
    EXPECT_EQ(settings.value(QStringLiteral("Settings/Recent0/ListenerPort")).toString(), QStringLiteral("COM4"));
    EXPECT_FALSE(settings.contains(QStringLiteral("Settings/LogPath"))) << "profile texts are kept apart";

    gui::CQtSettingsStore again(QStringLiteral("Vendra"), QStringLiteral("TolvarTestSuiteStoreTest"));
    EXPECT_EQ(again.ReadProfileText("settings", "logpath", ""), "/tmp/link.txt");
    EXPECT_EQ(again.ReadBytes("Settings", "WindowPlacement"), (std::vector<std::uint8_t>{0x2c, 0x00, 0xff}));
}

}  // namespace
