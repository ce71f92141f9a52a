// A log sink for tests: keeps every text it receives, without the time prefix.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "core/log_pipe.h"

namespace TolvarRT::testing {

class LogRecorder : public TSubscriber<ILogPipe> {
public:
    explicit LogRecorder(CLogPipe* pipe = nullptr, unsigned sinkLevel = kLogAll) : level(sinkLevel)
    {
        if (pipe != nullptr) {
            Subscribe(pipe);
            pipe->RaiseSinkLevel();
        }
    }
    ~LogRecorder() override { Unsubscribe(); }

    void Write(const char* text, unsigned) override
    {
        const std::string line(text);
        const std::size_t prefixEnd = line.find("] ");
        std::lock_guard<std::mutex> guard(linesLock);
        lines.push_back(prefixEnd == std::string::npos ? line : line.substr(prefixEnd + 2));
    }
    unsigned GetLogLevel() override { return level; }

    std::vector<std::string> Lines() const
    {
        std::lock_guard<std::mutex> guard(linesLock);
        return lines;
    }
    std::size_t Count(const std::string& line) const
    {
        std::lock_guard<std::mutex> guard(linesLock);
        return std::size_t(std::count(lines.begin(), lines.end(), line));
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(linesLock);
        lines.clear();
    }

    unsigned level;

private:
    mutable std::mutex linesLock;
    std::vector<std::string> lines;
};

}  // namespace TolvarRT::testing
