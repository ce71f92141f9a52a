// What every settings store answers alike, whatever keeps its values: a
// store's suite instantiates AnyStoreTest with a factory of its store.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings_store.h"

namespace TolvarRT::testing {

struct StoreKind {
    const char* name;
    // Makes an empty store of this kind; called once per test.
    std::function<std::unique_ptr<ISettingsStore>()> make;
};

class AnyStoreTest : public ::testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override { store = GetParam().make(); }
    std::unique_ptr<ISettingsStore> store;
};

inline std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info)
{
    return info.param.name;
}

TEST_P(AnyStoreTest, MissingValuesReadAsDefaults)
{
    EXPECT_EQ(store->ReadInt("Settings", "ListenerMode", 7), 7);
    EXPECT_EQ(store->ReadText("Settings", "ListenerPort", "COM1"), "COM1");
    EXPECT_FALSE(store->ReadBytes("Settings", "WindowPlacement").has_value());
    EXPECT_EQ(store->ReadProfileText("Settings", "LogPath", ""), "");
}

TEST_P(AnyStoreTest, TypedValuesReadBack)
{
    ASSERT_TRUE(store->WriteInt("Settings", "ListenerMode", 3));
    ASSERT_TRUE(store->WriteInt("Settings", "Lowest", INT32_MIN));
    ASSERT_TRUE(store->WriteText("Settings", "GPS SourcePort", "TCP:10.0.0.5:5017"));
    const std::vector<std::uint8_t> placement = {0x00, 0x2c, 0xff, 0x10};
    ASSERT_TRUE(store->WriteBytes("Settings", "WindowPlacement", placement));
    ASSERT_TRUE(store->WriteBytes("Settings", "Nothing", {}));

    EXPECT_EQ(store->ReadInt("Settings", "ListenerMode", 0), 3);
    EXPECT_EQ(store->ReadInt("Settings", "Lowest", 0), INT32_MIN);
    EXPECT_EQ(store->ReadText("Settings", "GPS SourcePort", ""), "TCP:10.0.0.5:5017");
    EXPECT_EQ(store->ReadBytes("Settings", "WindowPlacement"), placement);
    EXPECT_EQ(store->ReadBytes("Settings", "Nothing"), std::vector<std::uint8_t>{});
}

TEST_P(AnyStoreTest, NamesIgnoreCaseAndSectionsAreApart)
{
    store->WriteText("Settings\\Recent0", "ListenerPort", "COM4");
    store->WriteText("settings\\RECENT0", "listenerport", "COM5");
    store->WriteText("Settings\\Recent1", "ListenerPort", "COM6");
    EXPECT_EQ(store->ReadText("SETTINGS\\recent0", "LISTENERPORT", ""), "COM5");
    EXPECT_EQ(store->ReadText("Settings\\Recent1", "ListenerPort", ""), "COM6");
}

TEST_P(AnyStoreTest, ProfileTextsAreNotSettings)
{
    store->WriteProfileText("Settings", "LogPath", "/home/op/logs/link.txt");
    store->WriteText("Settings", "LogPath", "a setting");
    EXPECT_EQ(store->ReadProfileText("Settings", "LogPath", ""), "/home/op/logs/link.txt");
    EXPECT_EQ(store->ReadText("Settings", "LogPath", ""), "a setting");
    EXPECT_EQ(store->ReadProfileText("Settings", "PositionLogPath", "none"), "none");
}

TEST_P(AnyStoreTest, ValuesOfTheWrongFormReadAsDefaults)
{
    store->WriteText("Settings", "LogLevel", "two");
    store->WriteText("Settings", "Huge", "99999999999");
    store->WriteText("Settings", "Spaced", " 12 ");
    store->WriteText("Settings", "OddHex", "abc");
    store->WriteText("Settings", "NotHex", "zz");
    EXPECT_EQ(store->ReadInt("Settings", "LogLevel", 2), 2);
    EXPECT_EQ(store->ReadInt("Settings", "Huge", -1), -1);
    EXPECT_EQ(store->ReadInt("Settings", "Spaced", 0), 12);
    EXPECT_FALSE(store->ReadBytes("Settings", "OddHex").has_value());
    EXPECT_FALSE(store->ReadBytes("Settings", "NotHex").has_value());
}

}  // namespace TolvarRT::testing
