// The settings stores: the typed values read back the same from memory and
// from the INI file, and the INI file survives odd texts, hand edits, damage
// and absence.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/ini_settings_store.h"
#include "app/memory_settings_store.h"
#include "settings_store_contract.h"
#include "temp_folder.h"

namespace fs = std::filesystem;

namespace {

using TolvarRT::testing::AnyStoreTest;
using TolvarRT::testing::StoreKind;
using TolvarRT::testing::TempFolder;

void WriteFile(const fs::path& file, std::string_view content)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}

// Made during the first test that needs it; gone at exit.
const fs::path& StoreFolder()
{
    static TempFolder folder;
    return folder.Path();
}

// Every store answers the typed operations alike.
INSTANTIATE_TEST_SUITE_P(Stores, AnyStoreTest,
                         ::testing::Values(StoreKind{"Memory", [] { return std::make_unique<CMemorySettingsStore>(); }},
                                           StoreKind{"Ini",
                                                     [] {
                                                         // A file of its own for every test.
                                                         static int count = 0;
                                                         return std::make_unique<CIniSettingsStore>(
                                                             StoreFolder() / std::to_string(++count) / "Vendra" /
                                                             "TolvarTestSuite.ini");
                                                     }}),
                         TolvarRT::testing::StoreKindName);

TEST(MemorySettingsStoreTest, CountsValuesOnceWhateverTheCase)
{
    CMemorySettingsStore store;
    store.WriteInt("Settings", "LogLevel", 1);
    store.WriteInt("SETTINGS", "loglevel", 2);
    store.WriteProfileText("Settings", "LogLevel", "3");
    EXPECT_EQ(store.Count(), 2u);
}

class IniSettingsStoreTest : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path file = folder.Path() / "Vendra" / "TolvarTestSuite.ini";
};

TEST_F(IniSettingsStoreTest, OddTextsSurviveTheFile)
{
    const std::vector<std::string> texts = {
        "",
        "  leading and trailing  ",
        "\ttab",
        "line\nbreak\r\n",
        std::string("nul\0byte", 8),
        "\"quoted\"",
        "key=value; # not a comment",
        "[Not a section]",
        "back\\slash\\n",
        "\x01\x7f\x1b",
        "Gr\xC3\xBC\xC3\x9F"
        "e",
        "; leading semicolon",
    };
    {
        CIniSettingsStore store(file);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            ASSERT_TRUE(store.WriteText("Odd Section\\ ]x[", "Key " + std::to_string(i), texts[i]));
            ASSERT_TRUE(store.WriteText("Settings", texts[i].empty() ? "" : texts[i], "name " + std::to_string(i)));
        }
        store.WriteProfileText("Settings", "LogPath", "C:\\temp\\log.txt");
    }
    CIniSettingsStore reread(file);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reread.ReadText("Odd Section\\ ]x[", "Key " + std::to_string(i), "missing"), texts[i]);
        EXPECT_EQ(reread.ReadText("Settings", texts[i], "missing"), "name " + std::to_string(i));
    }
    EXPECT_EQ(reread.ReadProfileText("Settings", "LogPath", ""), "C:\\temp\\log.txt");
    // Plain texts stay plain for whoever edits the file.
    EXPECT_NE(TempFolder::Contents(file).find("LogPath=C:\\temp\\log.txt\n"), std::string::npos);
}

TEST_F(IniSettingsStoreTest, MissingFileMeansDefaultsAndTheFolderIsMadeOnWrite)
{
    CIniSettingsStore store(file);
    EXPECT_EQ(store.ReadText("Settings", "ListenerPort", "COM1"), "COM1");
    EXPECT_FALSE(fs::exists(file));
    ASSERT_TRUE(store.WriteText("Settings", "ListenerPort", "COM3"));
    EXPECT_EQ(TempFolder::Contents(file), "[Settings]\nListenerPort=COM3\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(IniSettingsStoreTest, HandEditedFileIsReadAndItsCommentsKept)
{
    fs::create_directories(file.parent_path());
    WriteFile(file,
              "\xEF\xBB\xBF; written by hand\r\n"
              "[ Settings ]\r\n"
              "  ListenerPort  =  COM7  \r\n"
              "# the address of the base\r\n"
              "GPS SourceNetAddress = \"10.0.0.5:5017\"\r\n"
              "\r\n"
              "[Settings\\Recent0]\r\n"
              "ListenerPort=COM2\r\n"
              "[settings]\r\n"
              "listenerport=COM8\r\n");
    CIniSettingsStore store(file);
    EXPECT_EQ(store.ReadText("Settings", "ListenerPort", ""), "COM8");  // the last one wins
    EXPECT_EQ(store.ReadText("Settings", "GPS SourceNetAddress", ""), "10.0.0.5:5017");
    EXPECT_EQ(store.ReadText("Settings\\Recent0", "ListenerPort", ""), "COM2");

    ASSERT_TRUE(store.WriteText("Settings", "ListenerPort", "COM9"));
    ASSERT_TRUE(store.WriteInt("Settings", "ListenerMode", 1));
    const std::string content = TempFolder::Contents(file);
    EXPECT_NE(content.find("; written by hand"), std::string::npos);
    EXPECT_NE(content.find("# the address of the base"), std::string::npos);
    EXPECT_NE(content.find("ListenerPort=COM9"), std::string::npos);
    EXPECT_EQ(content.find("COM8"), std::string::npos);  // the entry that was read is the one replaced
    CIniSettingsStore reread(file);
    EXPECT_EQ(reread.ReadText("Settings", "ListenerPort", ""), "COM9");
    EXPECT_EQ(reread.ReadInt("Settings", "ListenerMode", 0), 1);
    EXPECT_EQ(reread.ReadText("Settings\\Recent0", "ListenerPort", ""), "COM2");
}

TEST_F(IniSettingsStoreTest, CorruptFileReadsWhatItCanAndNeverCrashes)
{
    fs::create_directories(file.parent_path());
    std::string garbage =
        "no section line\n[Settings\nListenerPort=COM5\n\"unterminated=1\nwithout equals\n"
        "Value=\"bad \\q escape\"\n=no key\n[]\n";
    for (int i = 0; i < 512; ++i)
        garbage.push_back(static_cast<char>((i * 37) & 0xff));
    garbage += "\n[Settings]\nListenerMode=2\n";
    WriteFile(file, garbage);

    CIniSettingsStore store(file);
    EXPECT_EQ(store.ReadText("Settings", "ListenerPort", ""), "COM5");         // a header left open still counts
    EXPECT_EQ(store.ReadText("Settings", "Value", ""), "\"bad \\q escape\"");  // taken as written
    EXPECT_EQ(store.ReadInt("Settings", "ListenerMode", 0), 2);
    ASSERT_TRUE(store.WriteText("Settings", "ListenerPort", "COM6"));
    CIniSettingsStore reread(file);
    EXPECT_EQ(reread.ReadText("Settings", "ListenerPort", ""), "COM6");
    EXPECT_EQ(reread.ReadInt("Settings", "ListenerMode", 0), 2);
}

TEST_F(IniSettingsStoreTest, SomethingThatIsNotAFileReadsAsDefaults)
{
    fs::create_directories(file);  // a folder where the file should be
    CIniSettingsStore store(file);
    EXPECT_EQ(store.ReadText("Settings", "ListenerPort", "COM1"), "COM1");
    // It cannot be replaced, but the value holds for this session.
    EXPECT_FALSE(store.WriteText("Settings", "ListenerPort", "COM2"));
    EXPECT_EQ(store.ReadText("Settings", "ListenerPort", "COM1"), "COM2");
}

TEST_F(IniSettingsStoreTest, UnwritableFolderKeepsTheValueForTheSession)
{
    WriteFile(folder.Path() / "Vendra", "a file, not a folder");
    CIniSettingsStore store(file);
    EXPECT_FALSE(store.WriteInt("Settings", "LogLevel", 3));
    EXPECT_EQ(store.ReadInt("Settings", "LogLevel", 2), 3);
}

TEST_F(IniSettingsStoreTest, ChangesByAnotherWriterAreSeen)
{
    CIniSettingsStore first(file);
    CIniSettingsStore second(file);
    first.WriteText("Settings", "ListenerPort", "COM1");
    EXPECT_EQ(second.ReadText("Settings", "ListenerPort", ""), "COM1");
    second.WriteText("Settings", "NMEAPort", "COM2");
    EXPECT_EQ(first.ReadText("Settings", "NMEAPort", ""), "COM2");
    first.WriteText("Settings", "GPS SourcePort", "COM3");
    CIniSettingsStore reread(file);
    EXPECT_EQ(reread.ReadText("Settings", "ListenerPort", ""), "COM1");
    EXPECT_EQ(reread.ReadText("Settings", "NMEAPort", ""), "COM2");
    EXPECT_EQ(reread.ReadText("Settings", "GPS SourcePort", ""), "COM3");
}

TEST_F(IniSettingsStoreTest, RewriteKeepsTheFileModeAndALink)
{
    fs::create_directories(file.parent_path());
    const fs::path real = folder.Path() / "dotfiles.ini";
    WriteFile(real, "[Settings]\n");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink(real, file);
    CIniSettingsStore store(file);
    ASSERT_TRUE(store.WriteInt("Settings", "LogLevel", 1));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(TempFolder::Contents(real), "[Settings]\nLogLevel=1\n");
    struct stat status {};
    ASSERT_EQ(::stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(IniSettingsStoreTest, WritersOnSeveralThreadsLoseNothing)
{
    CIniSettingsStore store(file);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&store, t] {
            for (int i = 0; i < 10; ++i)
                store.WriteInt("Thread" + std::to_string(t), "Value" + std::to_string(i), i);
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    CIniSettingsStore reread(file);
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(reread.ReadInt("Thread" + std::to_string(t), "Value" + std::to_string(i), -1), i);
    }
}

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (previous)
            ::setenv(name, previous->c_str(), 1);
        else
            ::unsetenv(name);
    }

private:
    const char* name;
    std::optional<std::string> previous;
};

TEST(IniSettingsStorePathTest, ConfigFolderComesFromXdgOrHome)
{
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(CIniSettingsStore::DefaultPath(), fs::path("/srv/config/Vendra/TolvarTestSuite.ini"));
    }
    ScopedEnv home("HOME", "/home/operator");
    for (const char* unusable : {"relative/config", "", static_cast<const char*>(nullptr)}) {
        ScopedEnv config("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(CIniSettingsStore::DefaultPath(), fs::path("/home/operator/.config/Vendra/TolvarTestSuite.ini"));
    }
}

}  // namespace
