#include "ports/recording/stream_recorder.h"

#include "ports/recording/rtklib_time_tags.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace TolvarRT {
namespace {

// Large enough that a reader thread at full rate rarely waits for the disk.
constexpr std::size_t kBufferSize = 64 * 1024;
// Time tags held back before the data is flushed and they are written: some
// 800 chunks.
constexpr std::size_t kTagBatch = 16 * 1024;

}  // namespace

CStreamRecorder::CStreamRecorder(CLogPipe* logPipe) : log(logPipe) {}

CStreamRecorder::~CStreamRecorder()
{
    Unsubscribe();
    Stop();
}

bool CStreamRecorder::Start(const std::string& newDataPath, const std::string& newTagPath,
                            const sRecordingClock& newClock, std::string& error, const std::string& rtklibTagPath)
{
    Stop();
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    failure.clear();
    pendingTags.clear();
    pendingRtklib.clear();
    bytes = 0;
    rtklibPath = rtklibTagPath;
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
    if (!rtklibPath.empty()) {
        rtklibFile = std::fopen(rtklibPath.c_str(), "wb");
        if (rtklibFile == nullptr) {
            error = rtklibPath + ": " + std::strerror(errno);
            CloseFiles();
            return false;
        }
        pendingRtklib = RtklibTagHead(clock);
    }
    std::setvbuf(dataFile, nullptr, _IOFBF, kBufferSize);
    std::setvbuf(tagFile, nullptr, _IOFBF, kBufferSize);
    pendingTags = TimeTagHeader(clock);
    WriteOutTags();
    return true;
}

bool CStreamRecorder::Stop()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (dataFile == nullptr)
        return failure.empty();
    pendingTags += TimeTagEndLine(bytes);
    WriteOutTags();
    CloseFiles();
    return failure.empty();
}

bool CStreamRecorder::Flush()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    WriteOutTags();
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
    if (std::fwrite(data, 1, length, dataFile) != length) {
        Fail(dataPath, errno);
        return 0;
    }
    const std::int64_t arrival = NanosecondsBetween(timeStamp, clock.origin);
    pendingTags += TimeTagLine({bytes, arrival});
    bytes += length;
    if (rtklibFile != nullptr) {
        if (bytes > UINT32_MAX) {
            Fail(rtklibPath, EFBIG);
            return 0;
        }
        pendingRtklib +=
            RtklibTagRecord(std::uint32_t(std::max<std::int64_t>(arrival, 0) / 1000000), std::uint32_t(bytes));
    }
    if (pendingTags.size() >= kTagBatch)
        WriteOutTags();
    return 0;
}

void CStreamRecorder::WriteOutTags()
{
    if (dataFile == nullptr)
        return;
    // The bytes first: a tag on disk never points past what the data file holds.
    if (std::fflush(dataFile) != 0) {
        Fail(dataPath, errno);
        return;
    }
    if (std::fwrite(pendingTags.data(), 1, pendingTags.size(), tagFile) != pendingTags.size() ||
        std::fflush(tagFile) != 0) {
        Fail(tagPath, errno);
        return;
    }
    pendingTags.clear();
    if (rtklibFile != nullptr &&
        (std::fwrite(pendingRtklib.data(), 1, pendingRtklib.size(), rtklibFile) != pendingRtklib.size() ||
         std::fflush(rtklibFile) != 0)) {
        Fail(rtklibPath, errno);
        return;
    }
    pendingRtklib.clear();
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
    std::FILE* rtklib = rtklibFile;
    dataFile = nullptr;
    tagFile = nullptr;
    rtklibFile = nullptr;
    if (data != nullptr && std::fclose(data) != 0)
        Fail(dataPath, errno);
    if (tags != nullptr && std::fclose(tags) != 0)
        Fail(tagPath, errno);
    if (rtklib != nullptr && std::fclose(rtklib) != 0)
        Fail(rtklibPath, errno);
}

}  // namespace TolvarRT
