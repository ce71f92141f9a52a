// The log file: what reaches it at each level, what it adds (nothing), how it
// opens and fails, and texts from several threads arriving whole.
#include "app/file_log.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "log_texts.h"
#include "temp_folder.h"

namespace {

using TolvarRT::testing::ExpectThreadTexts;
using TolvarRT::testing::Messages;
using TolvarRT::testing::TempFolder;

class FileLogTest : public ::testing::Test {
protected:
    TempFolder folder;
    CLogPipe pipe;
    CLogNode node{&pipe};
    CFileLog fileLog{pipe};
};

TEST_F(FileLogTest, WritesTheTextsOfThePipeAsTheyCome)
{
    const std::string path = folder.File("log.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));
    EXPECT_TRUE(fileLog.IsOpen());
    EXPECT_TRUE(fileLog.IsSubscribed());
    node.LogAlways("first %d", 1);
    pipe.PublishLine(kLogNone, "\r\nraw text");
    pipe.PublishLine(kLogNone, "no line break");

    // Written straight through: readable while the log is still open.
    const std::string contents = TempFolder::Contents(path);
    EXPECT_EQ(contents.rfind("\r\n", 0), 0u);
    EXPECT_NE(contents.find("] first 1\r\nraw textno line break"), std::string::npos);
    EXPECT_EQ(contents.back(), 'k') << "nothing added behind a text";

    EXPECT_TRUE(fileLog.CloseFile());
    EXPECT_FALSE(fileLog.IsOpen());
    EXPECT_FALSE(fileLog.IsSubscribed());
    node.LogAlways("after closing");
    EXPECT_EQ(TempFolder::Contents(path), contents);
}

TEST_F(FileLogTest, ReceivesTheTextsUpToItsLevel)
{
    const struct {
        int level;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {"none"}},
        {1, {"none", "basic"}},
        {2, {"none", "basic", "most"}},
        {3, {"none", "basic", "most", "all", "dump [41 42 ]"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const std::string path = folder.File("level" + std::to_string(c.level) + ".txt");
        CFileLog levelled(pipe, c.level);
        ASSERT_TRUE(levelled.OpenFile(path));
        node.LogAlways("none");
        node.LogBasic("basic");
        node.LogMost("most");
        node.LogAll("all");
        node.HexDump("dump", "AB", 2);
        ASSERT_TRUE(levelled.CloseFile());
        EXPECT_EQ(Messages(TempFolder::Contents(path)), c.expected);
    }
}

TEST_F(FileLogTest, NewLevelIsAnnouncedInTheFileAndOfferedAtOnce)
{
    const std::string path = folder.File("log.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));
    node.LogAlways("refresh");  // the pipe now knows the highest level is Basic
    ASSERT_EQ(pipe.MaxSinkLevel(), 1u);

    EXPECT_EQ(fileLog.SetLogLevel(3), 3);
    EXPECT_EQ(fileLog.GetLogLevel(), 3u);
    EXPECT_EQ(pipe.MaxSinkLevel(), 3u);
    node.LogAll("detail");
    EXPECT_NE(TempFolder::Contents(path).find("] refresh\r\nNew Logging Level 3\r\n"), std::string::npos);
    EXPECT_EQ(Messages(TempFolder::Contents(path)).back(), "detail");
}

TEST_F(FileLogTest, ClosedLogStartsAtBasicAndTakesLevelsClampedWithoutWriting)
{
    EXPECT_FALSE(fileLog.IsOpen());
    EXPECT_FALSE(fileLog.CloseFile());
    EXPECT_EQ(fileLog.GetLogLevel(), 1u);
    EXPECT_EQ(fileLog.SetLogLevel(7), 3);
    EXPECT_EQ(fileLog.SetLogLevel(-1), 0);
    EXPECT_EQ(fileLog.GetLogLevel(), 0u) << "a negative level would take every text";
    const std::string path = folder.File("log.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));
    EXPECT_EQ(TempFolder::Contents(path), "");
}

TEST_F(FileLogTest, OpeningTruncatesAndMovesFromTheFileOpenBefore)
{
    const std::string first = folder.File("first.txt");
    const std::string second = folder.File("second.txt");
    {
        std::ofstream(second) << "old contents";
    }
    ASSERT_TRUE(fileLog.OpenFile(first));
    node.LogAlways("one");
    ASSERT_TRUE(fileLog.OpenFile(second));
    node.LogAlways("two");
    EXPECT_EQ(pipe.SubscriberCount(), 1u);
    EXPECT_EQ(Messages(TempFolder::Contents(first)), std::vector<std::string>{"one"});
    EXPECT_EQ(Messages(TempFolder::Contents(second)), std::vector<std::string>{"two"});
    EXPECT_EQ(TempFolder::Contents(second).find("old"), std::string::npos);
}

TEST_F(FileLogTest, FailedOpenLeavesTheLogClosedAndUnsubscribedAndSaysWhy)
{
    {
        std::ofstream(folder.File("plain")) << "x";
    }
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {"", "no file name"},
        {folder.Path().string(), "Is a directory"},
        {folder.File("missing/log.txt"), "No such file or directory"},
        {folder.File("plain/log.txt"), "Not a directory"},  // a file where a folder should be
    };
    ASSERT_TRUE(fileLog.OpenFile(folder.File("open.txt")));
    EXPECT_EQ(fileLog.OpenFailure(), "");
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(fileLog.OpenFile(path));
        EXPECT_EQ(fileLog.OpenFailure(), reason);
        EXPECT_FALSE(fileLog.IsOpen());
        EXPECT_FALSE(fileLog.IsSubscribed());
        EXPECT_FALSE(pipe.HasSubscribers());
        node.LogAlways("nobody");
    }
}

// Folder permissions do not bind the superuser, and the tests run as root in
// CI: these folders refuse a new file to every user.
TEST_F(FileLogTest, AFolderThatTakesNoFileIsAFailedOpenWithTheSystemsReason)
{
    const std::string plainFile = folder.File("plain");
    ASSERT_TRUE(fileLog.OpenFile(plainFile));
    ASSERT_TRUE(fileLog.CloseFile());
    std::vector<std::pair<std::string, std::string>> refusals = {{plainFile + "/log.txt", "Not a directory"}};
    struct statfs system {};
    // sysfs takes no new file from anyone; mounted read-only it says so instead.
    if (::statfs("/sys", &system) == 0 && system.f_type == SYSFS_MAGIC)
        refusals.push_back({"/sys/tolvar-log.txt", ::access("/sys", W_OK) != 0 && errno == EROFS
                                                       ? "Read-only file system"
                                                       : "Permission denied"});
    for (const auto& [path, reason] : refusals) {
        EXPECT_FALSE(fileLog.OpenFile(path)) << path;
        EXPECT_EQ(fileLog.OpenFailure(), reason) << path;
        EXPECT_FALSE(fileLog.IsOpen()) << path;
        EXPECT_FALSE(fileLog.IsSubscribed()) << path;
    }
}

TEST_F(FileLogTest, FileAnotherLogWritesIntoIsRefusedAndKept)
{
    const std::string path = folder.File("shared.txt");
    CFileLog other(pipe);
    ASSERT_TRUE(other.OpenFile(path));
    node.LogAlways("kept");
    EXPECT_FALSE(fileLog.OpenFile(path));
    EXPECT_EQ(fileLog.OpenFailure(), "another log is writing into it");
    EXPECT_EQ(Messages(TempFolder::Contents(path)), std::vector<std::string>{"kept"});
    ASSERT_TRUE(other.CloseFile());
    EXPECT_TRUE(fileLog.OpenFile(path)) << "free again once closed";
    EXPECT_EQ(fileLog.OpenFailure(), "");
    // A device is no file of ours to guard: two logs may write to it.
    if (::access("/dev/null", W_OK) == 0) {
        ASSERT_TRUE(other.OpenFile("/dev/null"));
        CFileLog third(pipe);
        EXPECT_TRUE(third.OpenFile("/dev/null")) << third.OpenFailure();
    }
}

TEST_F(FileLogTest, FailingWritesAreCountedNotFatal)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    ASSERT_TRUE(fileLog.OpenFile("/dev/full"));
    node.LogAlways("lost");
    node.LogAlways("lost again");
    EXPECT_EQ(fileLog.FailedWrites(), 2u);
    EXPECT_TRUE(fileLog.CloseFile());
}

TEST_F(FileLogTest, TextsFromSeveralThreadsArriveWhole)
{
    const std::string path = folder.File("threads.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));
    constexpr int kThreads = 4;
    constexpr int kTexts = 400;
    const std::string padding(600, 'x');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            CLogNode own(&pipe);
            for (int i = 0; i < kTexts; ++i)
                own.LogBasic("thread %d text %d %s end", t, i, padding.c_str());
        });
    for (std::thread& writer : writers)
        writer.join();
    ASSERT_TRUE(fileLog.CloseFile());

    ExpectThreadTexts(TempFolder::Contents(path), kThreads, kTexts, " " + padding + " end");
}

TEST_F(FileLogTest, ClosingWhileThreadsWriteNeitherBlocksNorLoses)
{
    const std::string path = folder.File("closing.txt");
    std::atomic<bool> stop{false};
    std::atomic<int> opened{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&] {
            CLogNode own(&pipe);
            while (!stop.load())
                own.LogAlways("busy");
        });
    for (int round = 0; round < 50; ++round) {
        opened += fileLog.OpenFile(path) ? 1 : 0;
        fileLog.SetLogLevel(round % 4);
        EXPECT_TRUE(fileLog.CloseFile());
    }
    stop = true;
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(opened.load(), 50);
    for (const std::string& message : Messages(TempFolder::Contents(path)))
        EXPECT_TRUE(message == "busy" || message.rfind("New Logging Level ", 0) == 0) << message;
}

}  // namespace
