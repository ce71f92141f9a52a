// The log file under a steady load through the log pipe: 3000 texts a second
// from four threads, each paced on absolute due times, every text in the file
// exactly once, whole and in its thread's order. The test suite runs it for
// a few seconds; bench/file_log_load.sh sets TOLVAR_LOG_LOAD_SECONDS for the
// long run and reads the figures it prints.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/file_log.h"
#include "log_texts.h"
#include "temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
using TolvarRT::testing::ExpectThreadTexts;
using TolvarRT::testing::TempFolder;

constexpr int kThreads = 4;
constexpr int kTextsPerSecond = 3000;

int LoadSeconds()
{
    const char* text = std::getenv("TOLVAR_LOG_LOAD_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 3;
}

TEST(FileLogLoadTest, EveryTextOfFourPacedThreadsArrivesOnceAndWhole)
{
    TempFolder folder;
    CLogPipe pipe;
    CFileLog fileLog(pipe);
    const std::string path = folder.File("load.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));

    const int seconds = LoadSeconds();
    const int textsPerThread = seconds * kTextsPerSecond / kThreads;
    // Each thread sends every kThreads / kTextsPerSecond s, the threads a
    // quarter of that apart; a sender that falls behind catches up at once,
    // so the whole load goes through whatever the machine does.
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(kThreads) / kTextsPerSecond));
    // Long enough that two texts written together would show interleaved.
    const std::string padding(160, 'x');
    std::vector<Clock::duration> worstLag(kThreads, Clock::duration::zero());
    const auto start = Clock::now() + std::chrono::milliseconds(20);
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t)
        senders.emplace_back([&, t] {
            CLogNode node(&pipe);
            const auto first = start + interval * t / kThreads;
            for (int i = 0; i < textsPerThread; ++i) {
                const auto due = first + interval * i;
                std::this_thread::sleep_until(due);
                worstLag[t] = std::max(worstLag[t], Clock::now() - due);
                node.LogBasic("thread %d text %d %s end", t, i, padding.c_str());
            }
        });
    for (std::thread& sender : senders)
        sender.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_TRUE(fileLog.CloseFile());
    EXPECT_EQ(fileLog.FailedWrites(), 0u);

    const std::string contents = TempFolder::Contents(path);
    ExpectThreadTexts(contents, kThreads, textsPerThread, " " + padding + " end");
    const double lagMs =
        std::chrono::duration<double, std::milli>(*std::max_element(worstLag.begin(), worstLag.end())).count();
    std::printf("file log load: %d texts in %.2f s (%.0f a second), %zu bytes, worst sender lag %.2f ms\n",
                kThreads * textsPerThread, elapsed, kThreads * textsPerThread / elapsed, contents.size(), lagMs);
}

}  // namespace
