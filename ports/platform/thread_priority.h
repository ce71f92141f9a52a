// Real-time scheduling for the time-critical stretches of the traffic
// generators, taken only where the platform grants it to this process, and
// the lowest priority for a stretch of work that must not crowd out the
// port threads.
#pragma once

#ifndef _WIN32
#include <pthread.h>
#endif

namespace TolvarRT {

// Raises the thread that created it to a real-time policy (or, failing that,
// a lower nice value) and puts it back. Refusals are silent: the thread then
// simply runs at its normal priority, and no further attempt is made.
//
// Thread rules: an object belongs to the thread that created it and changes
// only that thread's scheduling; it must not be shared.
class CThreadPriority {
public:
    CThreadPriority();
    ~CThreadPriority();
    CThreadPriority(const CThreadPriority&) = delete;
    CThreadPriority& operator=(const CThreadPriority&) = delete;

    // True when the thread now runs above its normal priority.
    bool RaiseToTimeCritical();
    // True when the thread now runs at the lowest priority. Taken only when
    // the way back is open too: an unprivileged Linux thread may always lower
    // itself but may climb back only as far as RLIMIT_NICE lets it, and a
    // user-interface thread left at the bottom for good would be far worse
    // than one never lowered.
    bool LowerToLowest();
    void RestoreNormal();
    bool IsRaised() const { return raised == How::RealTime || raised == How::Nice; }
    bool IsLowered() const { return raised == How::Lowest; }

private:
    enum class How { Normal, RealTime, Nice, Lowest };

#ifdef _WIN32
    int normalPriority = 0;  // GetThreadPriority's value
#else
    pthread_t self;
    int tid;
    int normalPolicy = SCHED_OTHER;
    sched_param normalParam{};
    int normalNice = 0;
#endif
    How raised = How::Normal;
    bool refused = false;
};

}  // namespace TolvarRT
