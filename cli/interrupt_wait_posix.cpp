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
        {
            std::lock_guard<std::mutex> guard(lock);
            if (closing)
                return;
        }
        Interrupt();
    }
}

}  // namespace cli
