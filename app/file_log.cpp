#include "app/file_log.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "app/log_file_lock.h"

CFileLog::CFileLog(CLogPipe& logPipe, int level) : pipe(logPipe), logLevel(ClampLogLevel(level)) {}

CFileLog::~CFileLog()
{
    CloseFile();
}

void CFileLog::Write(const char* text, unsigned)
{
    if (text == nullptr)
        return;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    WriteLocked(text, std::char_traits<char>::length(text));
}

void CFileLog::WriteLocked(const char* text, std::size_t length)
{
    if (file < 0)
        return;
    while (length > 0) {
        const ssize_t written = ::write(file, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            failedWrites.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        text += written;
        length -= std::size_t(written);
    }
}

unsigned CFileLog::GetLogLevel()
{
    return unsigned(logLevel.load(std::memory_order_relaxed));
}

bool CFileLog::OpenFile(const std::string& path)
{
    std::lock_guard<std::mutex> command(commandLock);
    CloseLocked();
    const std::string failure = OpenLocked(path);
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    openFailure = failure;
    return failure.empty();
}

std::string CFileLog::OpenLocked(const std::string& path)
{
    if (path.empty())
        return "no file name";
    std::string failure;
    const int opened = OpenLockedLogFile(path, failure);
    if (opened < 0)
        return failure;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        file = opened;
    }
    failedWrites.store(0, std::memory_order_relaxed);
    Subscribe(&pipe);
    // The pipe learns this sink's level with the next text of any level.
    pipe.RaiseSinkLevel();
    return {};
}

std::string CFileLog::OpenFailure() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return openFailure;
}

bool CFileLog::CloseFile()
{
    std::lock_guard<std::mutex> command(commandLock);
    return CloseLocked();
}

bool CFileLog::CloseLocked()
{
    // Once Unsubscribe returns no Write is in flight or still to come.
    Unsubscribe();
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (file < 0)
        return false;
    ::close(file);
    file = -1;
    return true;
}

bool CFileLog::IsOpen() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return file >= 0;
}

int CFileLog::SetLogLevel(int level)
{
    std::lock_guard<std::mutex> command(commandLock);
    const int stored = ClampLogLevel(level);
    logLevel.store(stored, std::memory_order_relaxed);
    pipe.RefreshSinkLevel();
    const std::string announcement = LogLevelAnnouncement(stored);
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    WriteLocked(announcement.data(), announcement.size());
    return stored;
}
