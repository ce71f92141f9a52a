// What both systems share: an interrupt, however it arrives, wakes the waits
// and runs the registered cancel once.
#include "cli/interrupt_wait.h"

namespace cli {

void CInterruptWait::Interrupt()
{
    std::lock_guard<std::mutex> guard(lock);
    if (!interrupted && onInterrupt)
        onInterrupt();
    interrupted = true;
    changed.notify_all();
}

bool CInterruptWait::WaitUntil(std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> guard(lock);
    return !changed.wait_until(guard, until, [this] { return interrupted; });
}

void CInterruptWait::SetCancel(std::function<void()> cancel)
{
    std::lock_guard<std::mutex> guard(lock);
    onInterrupt = std::move(cancel);
    if (interrupted && onInterrupt)
        onInterrupt();
}

}  // namespace cli
