#include "cli/log_pane_drain.h"

namespace cli {

CLogPaneDrain::CLogPaneDrain(CLogPipe& pipe, int level) : queue(pipe, nullptr, level) {}

CLogPaneDrain::~CLogPaneDrain()
{
    Stop();
}

void CLogPaneDrain::Start()
{
    if (thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = false;
    }
    thread = std::thread([this] { Run(); });
    queue.SetSurface(this);
    queue.AttachToPipe();
}

void CLogPaneDrain::Stop()
{
    if (!thread.joinable())
        return;
    // No text arrives once the queue has left the pipe, so the thread's last
    // pass leaves the queue empty.
    queue.DetachFromPipe();
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
    queue.SetSurface(nullptr);
}

void CLogPaneDrain::PostShowPending()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        posted = true;
    }
    wake.notify_all();
}

void CLogPaneDrain::PauseBeforeBatch()
{
    // As the widget does: writers fill the next batch meanwhile.
    std::this_thread::sleep_for(CLogViewQueue::kBatchPause);
}

void CLogPaneDrain::AppendRun(const sLogRun& run)
{
    shownBytes.fetch_add(run.text.size(), std::memory_order_relaxed);
}

void CLogPaneDrain::Run()
{
    for (;;) {
        bool last = false;
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return posted || stopping; });
            posted = false;
            last = stopping;
        }
        // A pass that hits its time limit posts the next one itself; the last
        // pass goes on until the queue is empty.
        queue.ShowPending();
        while (last && queue.PendingStrings() != 0)
            queue.ShowPending();
        if (last)
            return;
    }
}

}  // namespace cli
