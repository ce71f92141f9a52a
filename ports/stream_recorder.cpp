#include "ports/stream_recorder.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace TolvarRT {
namespace {

// Large enough that a reader thread at full rate rarely waits for the disk.
constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

CStreamRecorder::CStreamRecorder(CLogPipe* logPipe) : log(logPipe) {}

CStreamRecorder::~CStreamRecorder()
{
    Unsubscribe();
    Stop();
}

bool CStreamRecorder::Start(const std::string& newDataPath, const std::string& newTagPath,
                            const sRecordingClock& newClock, std::string& error)
{
    Stop();
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    failure.clear();
    bytes = 0;
    dataPath = newDataPath;
    tagPath = newTagPath;
    clock = newClock;
    dataFile = std::fopen(dataPath.c_str(), "wb");
    if (dataFile == nullptr) {
        error = dataPath + ": " + std::strerror(errno);
        return false;
    }
    tagFile = std::fopen(tagPath.c_str(), "wb");
    if (tagFile == nullptr) {
        error = tagPath + ": " + std::strerror(errno);
        CloseFiles();
        return false;
    }
    std::setvbuf(dataFile, nullptr, _IOFBF, kBufferSize);
    std::setvbuf(tagFile, nullptr, _IOFBF, kBufferSize);
    const std::string header = TimeTagHeader(clock);
    if (std::fwrite(header.data(), 1, header.size(), tagFile) != header.size())
        Fail(tagPath, errno);
    return true;
}

bool CStreamRecorder::Stop()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (dataFile == nullptr)
        return failure.empty();
    Flush();
    CloseFiles();
    return failure.empty();
}

bool CStreamRecorder::Flush()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (dataFile != nullptr && std::fflush(dataFile) != 0)
        Fail(dataPath, errno);
    else if (tagFile != nullptr && std::fflush(tagFile) != 0)
        Fail(tagPath, errno);
    return failure.empty();
}

bool CStreamRecorder::IsRecording() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return dataFile != nullptr;
}

std::string CStreamRecorder::Failure() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return failure;
}

std::uint64_t CStreamRecorder::BytesRecorded() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return bytes;
}

int CStreamRecorder::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t /*firstIndex*/,
                             const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (dataFile == nullptr)
        return 0;
    // The bytes first: a tag never points past what the data file holds.
    if (std::fwrite(data, 1, length, dataFile) != length) {
        Fail(dataPath, errno);
        return 0;
    }
    const std::string line = TimeTagLine({bytes, NanosecondsBetween(timeStamp, clock.origin)});
    bytes += length;
    if (std::fwrite(line.data(), 1, line.size(), tagFile) != line.size())
        Fail(tagPath, errno);
    return 0;
}

void CStreamRecorder::Fail(const std::string& path, int error)
{
    if (!failure.empty())
        return;
    failure = path + ": " + std::strerror(error != 0 ? error : EIO);
    log.LogAlways("Recording stopped, %s", failure.c_str());
    CloseFiles();
}

void CStreamRecorder::CloseFiles()
{
    // A close that fails lost buffered bytes: as much a failure as a write.
    std::FILE* data = dataFile;
    std::FILE* tags = tagFile;
    dataFile = nullptr;
    tagFile = nullptr;
    if (data != nullptr && std::fclose(data) != 0)
        Fail(dataPath, errno);
    if (tags != nullptr && std::fclose(tags) != 0)
        Fail(tagPath, errno);
}

}  // namespace TolvarRT
