// The log file's lock, each system's own: one log at a time writes a file,
// a second is refused with the words the user sees, and the file is emptied
// only once the lock is taken.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/log_file_lock.h"

namespace {

std::string Contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LogFileLock : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder =
            std::filesystem::temp_directory_path() / ("tolvar-lock-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
};

TEST_F(LogFileLock, ASecondLogIsRefusedAndTheFirstKeepsItsText)
{
    const std::string path = (folder / "test.log").string();
    std::string failure;
    const int first = OpenLockedLogFile(path, failure);
    ASSERT_GE(first, 0) << failure;
    ASSERT_EQ(::write(first, "first\n", 6), 6);

    const int second = OpenLockedLogFile(path, failure);
    EXPECT_LT(second, 0);
    EXPECT_EQ(failure, "another log is writing into it");
    ::close(first);
    EXPECT_EQ(Contents(path), "first\n") << "the refused log must not have emptied it";

    // Free again once closed; the new log starts with an empty file, and
    // its bytes are written as they are (no "\r\n" on Windows).
    failure.clear();
    const int third = OpenLockedLogFile(path, failure);
    ASSERT_GE(third, 0) << failure;
    ASSERT_EQ(::write(third, "a\nb\n", 4), 4);
    ::close(third);
    EXPECT_EQ(Contents(path), "a\nb\n");
}

TEST_F(LogFileLock, AFileThatCannotBeMadeSaysWhy)
{
    std::string failure;
    EXPECT_LT(OpenLockedLogFile((folder / "no-such-folder" / "test.log").string(), failure), 0);
    EXPECT_FALSE(failure.empty());
}

}  // namespace
