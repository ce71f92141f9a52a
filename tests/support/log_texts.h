// The texts of a log file or pane read back: split where each text starts a
// line, and checked for texts several threads wrote at once.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace TolvarRT::testing {

// The lines of contents; each text starts a line.
inline std::vector<std::string> Lines(const std::string& contents)
{
    std::vector<std::string> lines;
    for (std::size_t start = contents.find("\r\n"); start != std::string::npos;) {
        const std::size_t end = contents.find("\r\n", start + 2);
        lines.push_back(contents.substr(start + 2, end == std::string::npos ? end : end - start - 2));
        start = end;
    }
    return lines;
}

// The texts without the time prefix of those that have one.
inline std::vector<std::string> Messages(const std::string& contents)
{
    std::vector<std::string> messages = Lines(contents);
    for (std::string& message : messages) {
        const std::size_t prefixEnd = message.find("] ");
        if (prefixEnd != std::string::npos)
            message.erase(0, prefixEnd + 2);
    }
    return messages;
}

// Every one of texts texts from each of threads threads, stamped and then
// "thread t text i" followed by tail, whole and in each thread's order.
inline void ExpectThreadTexts(const std::string& contents, int threads, int texts, const std::string& tail)
{
    const std::vector<std::string> lines = Lines(contents);
    ASSERT_EQ(lines.size(), std::size_t(threads * texts));
    std::vector<int> next(threads, 0);
    for (const std::string& line : lines) {
        const std::size_t prefixEnd = line.find("] ");
        ASSERT_NE(prefixEnd, std::string::npos) << line;
        const std::string message = line.substr(prefixEnd + 2);
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(message.c_str(), "thread %d text %d", &t, &i), 2) << message;
        ASSERT_TRUE(t >= 0 && t < threads);
        EXPECT_EQ(i, next[t]++) << "each thread's texts in order";
        EXPECT_EQ(message, "thread " + std::to_string(t) + " text " + std::to_string(i) + tail);
    }
}

}  // namespace TolvarRT::testing
