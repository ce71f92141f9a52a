// The events file of a link test: every event of both sides' statistics, one
// JSON line each, for offline analysis and for `tolvar report`.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "stats/link_event.h"

namespace cli {

// Events come from both sides' reader threads and the generator's, each
// under its collection's lock; lines are kept in memory and written in large
// pieces, and all of them when the file is closed. The first write failure
// is kept, and nothing more is written after it.
class CEventsFile : public TolvarRT::ILinkEventSink {
public:
    CEventsFile() = default;
    CEventsFile(const CEventsFile&) = delete;
    CEventsFile& operator=(const CEventsFile&) = delete;
    ~CEventsFile() override;

    // Creates the file; its times count from now. False with a reason.
    bool Open(const std::string& path, std::string& error);
    void OnLinkEvent(const TolvarRT::sLinkEvent& event) override;
    // Writes out the rest and closes the file; the first failure, empty when
    // every line was written.
    std::string Close();
    std::uint64_t Lines() const;
    // Lines in the file: all of them up to the first failure.
    std::uint64_t LinesWritten() const;
    // The first failure so far; empty while every write succeeded.
    std::string Failure() const;

private:
    void WriteBuffer();  // under the lock

    mutable std::mutex lock;
    std::string path;
    std::FILE* file = nullptr;
    std::string buffer;
    std::string failure;
    std::uint64_t lines = 0;
    std::uint64_t linesWritten = 0;
    TolvarRT::TimeStamp start = 0;
    std::chrono::system_clock::time_point wallStart;
};

}  // namespace cli
