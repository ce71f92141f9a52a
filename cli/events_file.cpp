#include "cli/events_file.h"

#include <cerrno>
#include <cstring>

#include "cli/events_line.h"

namespace cli {
namespace {

// Large enough that a busy link writes a few times a second at most.
constexpr std::size_t kWriteSize = 64 * 1024;

}  // namespace

CEventsFile::~CEventsFile()
{
    Close();
}

bool CEventsFile::Open(const std::string& name, std::string& error)
{
    std::lock_guard<std::mutex> guard(lock);
    file = std::fopen(name.c_str(), "w");
    if (file == nullptr) {
        error = name + ": " + std::strerror(errno);
        return false;
    }
    path = name;
    // A file opened again begins anew.
    buffer.clear();
    failure.clear();
    lines = 0;
    linesWritten = 0;
    start = TolvarRT::TimeStampNow();
    wallStart = std::chrono::system_clock::now();
    return true;
}

void CEventsFile::OnLinkEvent(const TolvarRT::sLinkEvent& event)
{
    std::lock_guard<std::mutex> guard(lock);
    if (file == nullptr)
        return;
    const double seconds = TolvarRT::SecondsBetween(event.time, start);
    const auto utc = wallStart + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                     std::chrono::duration<double>(seconds));
    buffer += EventLine(event, seconds, utc);
    buffer += '\n';
    ++lines;
    if (buffer.size() >= kWriteSize)
        WriteBuffer();
}

void CEventsFile::WriteBuffer()
{
    if (!failure.empty() || buffer.empty()) {
        buffer.clear();
        return;
    }
    if (std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size() || std::fflush(file) != 0)
        failure = path + ": " + std::strerror(errno);
    else
        linesWritten = lines;
    buffer.clear();
}

std::string CEventsFile::Close()
{
    std::lock_guard<std::mutex> guard(lock);
    if (file == nullptr)
        return failure;
    WriteBuffer();
    if (std::fclose(file) != 0 && failure.empty())
        failure = path + ": " + std::strerror(errno);
    file = nullptr;
    return failure;
}

std::uint64_t CEventsFile::Lines() const
{
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

std::uint64_t CEventsFile::LinesWritten() const
{
    std::lock_guard<std::mutex> guard(lock);
    return linesWritten;
}

std::string CEventsFile::Failure() const
{
    std::lock_guard<std::mutex> guard(lock);
    return failure;
}

}  // namespace cli
