// The wall-clock due time is mapped onto the monotonic clock once, at Set, so
// the grid is immune to later changes of the system clock.
#include "ports/platform/periodic_timer.h"

#include <algorithm>

namespace TolvarRT {

using std::chrono::steady_clock;
using std::chrono::system_clock;

void CPeriodicTimer::Set(system_clock::time_point firstDue, std::chrono::milliseconds newPeriod)
{
    const auto untilDue = firstDue - system_clock::now();
    nextDue = steady_clock::now() + std::chrono::duration_cast<steady_clock::duration>(untilDue);
    period = std::max<steady_clock::duration>(newPeriod, std::chrono::milliseconds(1));
    armed = true;
}

void CPeriodicTimer::Cancel()
{
    armed = false;
}

CPeriodicTimer::WaitResult CPeriodicTimer::Wait(CEvent& stop, std::chrono::milliseconds timeout)
{
    const auto deadline = steady_clock::now() + timeout;
    for (;;) {
        if (stop.WaitUntil(armed ? std::min(nextDue, deadline) : deadline))
            return WaitResult::Stop;
        const auto now = steady_clock::now();
        if (armed && now >= nextDue) {
            // Skip the grid points already missed: one tick per wait.
            const auto missed = (now - nextDue) / period;
            nextDue += (missed + 1) * period;
            return WaitResult::Tick;
        }
        if (now >= deadline)
            return WaitResult::Timeout;
    }
}

}  // namespace TolvarRT
