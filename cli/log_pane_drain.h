// A log pane without a window: the desktop pane's queue on a document's log
// pipe, shown by a thread of its own that stands in for the user-interface
// thread and keeps only the count of what it was given. The demo can attach
// one, so that the queue takes a whole test's traffic from every thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/log_view_queue.h"

namespace cli {

// Thread rules: Start, Stop and the counts belong to the owner's thread; the
// drain thread alone shows the queue between them.
class CLogPaneDrain final : private ILogViewSurface {
public:
    CLogPaneDrain(CLogPipe& pipe, int level);
    ~CLogPaneDrain();
    CLogPaneDrain(const CLogPaneDrain&) = delete;
    CLogPaneDrain& operator=(const CLogPaneDrain&) = delete;

    // Joins the pipe and starts the drain thread.
    void Start();
    // Leaves the pipe, lets the thread show what is still queued, and ends it.
    void Stop();

    // What reached the pane, and what is still queued (nothing after Stop).
    std::uint64_t ShownBytes() const { return shownBytes.load(std::memory_order_relaxed); }
    std::size_t PendingStrings() const { return queue.PendingStrings(); }

private:
    // ILogViewSurface. PostShowPending runs under the queue's lock on any
    // thread, so it only wakes the drain thread.
    void PostShowPending() override;
    void BeginPass() override {}
    void EndPass() override {}
    void PauseBeforeBatch() override;
    void AppendRun(const sLogRun& run) override;

    void Run();

    CLogViewQueue queue;
    std::mutex lock;
    std::condition_variable wake;
    bool posted = false;    // under lock
    bool stopping = false;  // under lock
    std::atomic<std::uint64_t> shownBytes{0};
    std::thread thread;
};

}  // namespace cli
