#include "cli/interrupt_wait.h"

#include <pthread.h>

namespace cli {

CInterruptWait::CInterruptWait()
{
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, &previous);
    watcher = std::thread([this] { Watch(); });
}

CInterruptWait::~CInterruptWait()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        closing = true;
    }
    // Directed at the watcher, which takes it as the sign to end.
    pthread_kill(watcher.native_handle(), SIGTERM);
    watcher.join();
    // A second Ctrl+C pending here would otherwise end the program on the way out.
    const timespec now{0, 0};
    while (sigtimedwait(&interrupts, nullptr, &now) >= 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void CInterruptWait::Watch()
{
    for (;;) {
        int signal = 0;
        if (sigwait(&interrupts, &signal) != 0)
            continue;
        std::lock_guard<std::mutex> guard(lock);
        if (closing)
            return;
        if (!interrupted && onInterrupt)
            onInterrupt();
        interrupted = true;
        changed.notify_all();
    }
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
