// How the fake CMR generator paces its epochs: the arithmetic of software
// timing (wake a margin before the tick, spin on the clock for the rest, adapt
// the margin, re-align after a miss), and the clock and waits it runs on.
#pragma once

#include <chrono>

#include "core/event.h"
#include "ports/platform/periodic_timer.h"
#include "ports/platform/thread_priority.h"

namespace TolvarRT {

// Software timing's bookkeeping, apart from any clock: every input is a clock
// reading in seconds since start, so it runs the same on a scripted clock.
//
// Thread rules: belongs to the generator thread.
class CEpochPacer {
public:
    static constexpr int kInitialMarginMs = 35;
    static constexpr int kMarginMinMs = 10;  // the adaptation never goes below
    static constexpr int kMarginStepMs = 5;
    static constexpr int kMarginGrowLimitMs = 40;
    static constexpr int kMarginMissMs = 10;
    // A wake-up earlier than the spin window can bridge would miss every epoch
    // from then on, so misses never push the margin this far.
    static constexpr int kMarginMaxMs = 90;
    static constexpr double kSpinWindow = 0.1;   // s: the longest spin before a tick
    static constexpr double kTolerance = 0.025;  // s: a tick further off is a miss

    // A new schedule: the first tick one interval from now. Margin and lead
    // carry over, except that alignment starts with a lead of 2 ms per second
    // of interval.
    void Restart(double now, unsigned intervalMs, bool align, unsigned offsetMs);
    // How long to wait before spinning for the next tick, at least 0 ms; the
    // lead is used up by it.
    unsigned WaitMs();
    // When the next tick is due.
    double Next() const { return next; }
    // The tick: wokeAt is the clock when the wait ended, sendAt after the
    // spin. True when the epoch goes out. Moves the grid on, re-aligns it to
    // the second after a miss when aligning (otherwise restarts it from
    // sendAt), and adapts the margin to how early the wait ended.
    bool OnTick(double wokeAt, double sendAt);

    int MarginMs() const { return marginMs; }
    int LeadMs() const { return leadMs; }

private:
    double epoch = 1.0;  // s
    unsigned intervalMs = 1000;
    unsigned offsetMs = 0;
    bool align = false;
    int marginMs = kInitialMarginMs;
    int leadMs = 0;
    double next = 0.0;
};

// The clock and the waits of the generator thread. The generator calls every
// operation on its own thread.
class ICMRSimTiming {
public:
    enum class Wake { Stop, ScheduleChange, Tick };

    virtual ~ICMRSimTiming() = default;

    // Seconds since start.
    virtual double Now() = 0;
    // Software timing: a stop, a schedule change, or the time-out (the tick).
    virtual Wake Wait(unsigned ms) = 0;
    // Timer timing: ticks from the next whole UTC second plus offsetMs, then
    // every interval.
    virtual void StartTimer(unsigned offsetMs, unsigned intervalMs) = 0;
    // A stop, a schedule change or a timer tick, however long it takes; for a
    // tick dueAt is when it was due (seconds since start).
    virtual Wake WaitTimer(double& dueAt) = 0;
    virtual void StopTimer() = 0;
    // Waits up to ms; a stop ends it early.
    virtual void WaitForStop(unsigned ms) = 0;
    virtual void Sleep(unsigned ms) = 0;
    virtual void SetTimeCritical(bool raised) = 0;
    // Every epoch tick: when it was due, when the generator let it go, and
    // whether it goes out. For measurements.
    virtual void OnEpochTick(double /*dueAt*/, double /*goAt*/, bool /*send*/) {}
};

// The system's timing: the monotonic clock, the generator's events and the
// periodic timer.
//
// Thread rules: belongs to the generator thread, which must also construct it
// (its priority handling applies to the constructing thread). The events may
// be set from any thread: stop and change by their owner, each followed by
// wake, which is the one the waits block on.
class CCMRSimTiming : public ICMRSimTiming {
public:
    CCMRSimTiming(CEvent& stop, CEvent& change, CEvent& wake) : stop(stop), change(change), wake(wake) {}

    double Now() override;
    Wake Wait(unsigned ms) override;
    void StartTimer(unsigned offsetMs, unsigned intervalMs) override;
    Wake WaitTimer(double& dueAt) override;
    void StopTimer() override;
    void WaitForStop(unsigned ms) override;
    void Sleep(unsigned ms) override;
    void SetTimeCritical(bool raised) override;

private:
    // Stop or change when either is set; otherwise clears a stale wake-up.
    bool Signalled(Wake& result);

    CEvent& stop;
    CEvent& change;
    CEvent& wake;
    CPeriodicTimer timer;
    std::chrono::steady_clock::time_point firstDue{};
    std::chrono::steady_clock::duration period{};
    CThreadPriority priority;
};

}  // namespace TolvarRT
