#include "app/log_view_queue.h"

#include <cstdio>
#include <cstdlib>

namespace {

unsigned LevelOfMarker(const std::string& marker)
{
    if (marker.size() < 2 || marker[0] != '$')
        return kLogNone;
    return unsigned(std::strtoul(marker.c_str() + 1, nullptr, 16));
}

}  // namespace

std::string CLogViewQueue::LevelMarker(unsigned level)
{
    char marker[16];
    const int length = std::snprintf(marker, sizeof marker, "$%x", level);
    return std::string(marker, length > 0 ? std::size_t(length) : 0);
}

LogColour LogColourOf(unsigned level)
{
    switch (level) {
    case kLogBasic:
    case kLogMost: return LogColour::DarkBlue;
    case kLogAll: return LogColour::Grey;
    default: return LogColour::Automatic;
    }
}

sRunFormat RunFormatOf(LogColour colour)
{
    switch (colour) {
    case LogColour::DarkBlue: return {false, 0, 0, 192, 0};
    case LogColour::Grey: return {false, 96, 96, 96, 160};
    case LogColour::Automatic: break;
    }
    return {true, 0, 0, 0, 0};
}

CLogViewQueue::CLogViewQueue(CLogPipe& logPipe, CFileLog* file, int level)
    : pipe(logPipe), fileLog(file), logLevel(ClampLogLevel(level))
{
}

CLogViewQueue::~CLogViewQueue()
{
    Unsubscribe();
}

void CLogViewQueue::Write(const char* text, unsigned level)
{
    if (text == nullptr)
        return;
    std::string marker = LevelMarker(level);
    std::string copy(text);
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const bool wasEmpty = pendingTexts.empty();
    pendingTexts.push_back(std::move(marker));
    pendingTexts.push_back(std::move(copy));
    // A posting still outstanding shows this text too.
    if (wasEmpty && !paused && surface != nullptr)
        surface->PostShowPending();
}

unsigned CLogViewQueue::GetLogLevel()
{
    return unsigned(logLevel.load(std::memory_order_relaxed));
}

void CLogViewQueue::SetSurface(ILogViewSurface* newSurface)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    surface = newSurface;
    // Texts queued before the widget existed have had no posting.
    if (surface != nullptr && !paused && !pendingTexts.empty())
        surface->PostShowPending();
}

bool CLogViewQueue::AttachToPipe()
{
    const bool attached = Subscribe(&pipe);
    pipe.RaiseSinkLevel();
    return attached;
}

void CLogViewQueue::DetachFromPipe()
{
    Unsubscribe();
}

sLogLevels CLogViewQueue::SetLogLevel(int level)
{
    sLogLevels stored{ClampLogLevel(level), 0};
    logLevel.store(stored.paneLevel, std::memory_order_relaxed);
    pipe.RefreshSinkLevel();
    stored.fileLevel = fileLog != nullptr ? fileLog->SetLogLevel(stored.paneLevel) : stored.paneLevel;
    Write(LogLevelAnnouncement(stored.paneLevel).c_str(), kLogNone);
    return stored;
}

void CLogViewQueue::SetPaused(bool flag)
{
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        paused = flag;
    }
    if (!flag)
        ShowPending();
}

bool CLogViewQueue::IsPaused() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return paused;
}

std::size_t CLogViewQueue::PendingStrings() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return pendingTexts.size();
}

bool CLogViewQueue::TakeRun(bool colouring, std::size_t& taken, sLogRun& run)
{
    // Texts join the run until one of another colour comes, which is left at
    // the head for the next run.
    run.text.clear();
    bool started = false;
    while (taken < kBatchTexts && pendingTexts.size() >= 2) {
        const LogColour colour = colouring ? LogColourOf(LevelOfMarker(pendingTexts.front())) : LogColour::Automatic;
        if (started && colour != run.colour)
            break;
        run.colour = colour;
        started = true;
        pendingTexts.pop_front();
        run.text += pendingTexts.front();
        pendingTexts.pop_front();
        ++taken;
    }
    return started;
}

void CLogViewQueue::ShowPending()
{
    std::unique_lock<std::recursive_mutex> guard(sharedLock);
    ILogViewSurface* target = surface;
    if (target == nullptr || pendingTexts.empty())
        return;
    const bool colouring = pendingTexts.size() < kColouringLimit;
    guard.unlock();

    const auto passStart = std::chrono::steady_clock::now();
    target->BeginPass();
    sLogRun run{LogColour::Automatic, {}};
    for (;;) {
        target->PauseBeforeBatch();
        std::size_t taken = 0;
        for (;;) {
            guard.lock();
            const bool any = TakeRun(colouring, taken, run);
            guard.unlock();
            if (!any)
                break;
            // Writers go on queueing while the widget appends.
            target->AppendRun(run);
        }
        guard.lock();
        const bool more = !pendingTexts.empty();
        if (more && std::chrono::steady_clock::now() - passStart >= kPassLimit) {
            if (!paused)
                target->PostShowPending();
            guard.unlock();
            break;
        }
        guard.unlock();
        if (!more)
            break;
    }
    target->EndPass();
}
