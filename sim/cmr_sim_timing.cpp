// Epoch pacing of the fake CMR generator: software timing's margin, lead and
// re-alignment, and the system clock, events and timer behind the waits.
#include "sim/cmr_sim_timing.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/time_base.h"

namespace TolvarRT {

using std::chrono::steady_clock;
using std::chrono::system_clock;

void CEpochPacer::Restart(double now, unsigned newIntervalMs, bool newAlign, unsigned newOffsetMs)
{
    intervalMs = newIntervalMs;
    epoch = intervalMs / 1000.0;
    offsetMs = newOffsetMs;
    align = newAlign;
    next = now + epoch;
    if (align)
        leadMs = int(std::lround(2 * epoch));
}

unsigned CEpochPacer::WaitMs()
{
    const int waitMs = int(intervalMs) - marginMs - leadMs;
    leadMs = 0;
    return unsigned(std::max(waitMs, 0));
}

bool CEpochPacer::OnTick(double wokeAt, double sendAt)
{
    const double remaining = next - wokeAt;
    const double diff = sendAt - next;
    bool send = true;
    if (diff > -kTolerance && diff < kTolerance) {
        next += epoch;
    } else if (align) {
        // Skip this epoch and put the grid back on the second (plus offset).
        send = false;
        next = std::floor(sendAt) + offsetMs / 1000.0;
        if (next < sendAt)
            next += 1.0;
        marginMs += kMarginMissMs;
        leadMs = int(std::lround((epoch - (next - sendAt)) * 1000.0));
    } else {
        next = sendAt + epoch;
    }
    if (remaining > 0.01 && marginMs - kMarginStepMs >= kMarginMinMs)
        marginMs -= kMarginStepMs;
    else if (remaining < 0.01 && marginMs < kMarginGrowLimitMs)
        marginMs += kMarginStepMs;
    marginMs = std::min(marginMs, kMarginMaxMs);
    return send;
}

double CCMRSimTiming::Now()
{
    return SecondsSinceStart(TimeStampNow());
}

bool CCMRSimTiming::Signalled(Wake& result)
{
    if (stop.IsSet()) {
        result = Wake::Stop;
        return true;
    }
    if (change.IsSet()) {
        result = Wake::ScheduleChange;
        return true;
    }
    return false;
}

// The flags are read before every wait and the wake-up is cleared after it,
// so a flag set at any moment is seen at the latest on the next round.
ICMRSimTiming::Wake CCMRSimTiming::Wait(unsigned ms)
{
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        Wake result;
        if (Signalled(result))
            return result;
        if (!wake.WaitUntil(deadline))
            return Wake::Tick;
        wake.Clear();
    }
}

void CCMRSimTiming::StartTimer(unsigned offsetMs, unsigned intervalMs)
{
    const auto systemNow = system_clock::now();
    const auto steadyNow = steady_clock::now();
    const auto due = std::chrono::floor<std::chrono::seconds>(systemNow) + std::chrono::seconds(1) +
                     std::chrono::milliseconds(offsetMs);
    timer.Set(due, std::chrono::milliseconds(intervalMs));
    // The timer keeps its grid to itself; the same mapping here gives the due
    // time of each tick to within the two clock reads above.
    firstDue = steadyNow + std::chrono::duration_cast<steady_clock::duration>(due - systemNow);
    period = std::chrono::milliseconds(std::max(intervalMs, 1u));
}

ICMRSimTiming::Wake CCMRSimTiming::WaitTimer(double& dueAt)
{
    constexpr std::chrono::milliseconds kWaitStep{1000};
    for (;;) {
        Wake result;
        if (Signalled(result))
            return result;
        switch (timer.Wait(wake, kWaitStep)) {
        case CPeriodicTimer::WaitResult::Tick: {
            // One tick per wait: the one reported is the latest grid point passed.
            const auto now = steady_clock::now();
            const auto passed = now > firstDue ? (now - firstDue) / period : 0;
            dueAt = SecondsSinceStart((firstDue + passed * period).time_since_epoch().count());
            return Wake::Tick;
        }
        case CPeriodicTimer::WaitResult::Stop: wake.Clear(); break;
        case CPeriodicTimer::WaitResult::Timeout: break;
        }
    }
}

void CCMRSimTiming::StopTimer()
{
    timer.Cancel();
}

void CCMRSimTiming::WaitForStop(unsigned ms)
{
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop.IsSet() && wake.WaitUntil(deadline)) {
        if (!stop.IsSet())
            wake.Clear();
    }
}

void CCMRSimTiming::Sleep(unsigned ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void CCMRSimTiming::SetTimeCritical(bool raised)
{
    if (raised)
        priority.RaiseToTimeCritical();
    else
        priority.RestoreNormal();
}

}  // namespace TolvarRT
