#include "cli/interrupt_wait.h"

#include <pthread.h>

namespace cli {

CInterruptWait::CInterruptWait()
{
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &interrupts, &previous);
}

CInterruptWait::~CInterruptWait()
{
    // A second Ctrl+C pending here would otherwise end the program on the way out.
    const timespec now{0, 0};
    while (sigtimedwait(&interrupts, nullptr, &now) >= 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

bool CInterruptWait::WaitUntil(std::chrono::steady_clock::time_point until)
{
    while (!interrupted) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{time_t(nanoseconds / 1000000000), long(nanoseconds % 1000000000)};
        if (sigtimedwait(&interrupts, nullptr, &timeout) >= 0)
            interrupted = true;
        // EAGAIN: the time is up; EINTR: another signal; either way look again.
    }
    return false;
}

}  // namespace cli
