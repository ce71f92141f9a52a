// SCHED_FIFO needs CAP_SYS_NICE or an RLIMIT_RTPRIO allowance; a lower nice
// value needs CAP_SYS_NICE or RLIMIT_NICE. Without either the thread keeps its
// normal scheduling.
#include "ports/platform/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace TolvarRT {
namespace {

// Low among real-time priorities: above every normal thread, below the
// kernel's own real-time threads.
constexpr int kRealTimePriority = 10;
constexpr int kNiceStep = 10;
constexpr int kLowestNice = 19;

// Whether this process may set a thread's nice value back down to nice.
bool MayReturnTo(int nice)
{
    if (geteuid() == 0)
        return true;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0)
        return false;
    // The ceiling is 20 - rlim_cur in nice terms (1 to 40 mapped to 19 to -20).
    return limit.rlim_cur == RLIM_INFINITY || 20 - int(limit.rlim_cur) <= nice;
}

}  // namespace

CThreadPriority::CThreadPriority() : self(pthread_self()), tid(int(syscall(SYS_gettid)))
{
    if (pthread_getschedparam(self, &normalPolicy, &normalParam) != 0) {
        normalPolicy = SCHED_OTHER;
        normalParam = sched_param{};
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(tid));
    normalNice = errno == 0 ? nice : 0;
}

CThreadPriority::~CThreadPriority()
{
    RestoreNormal();
}

bool CThreadPriority::RaiseToTimeCritical()
{
    if (IsRaised())
        return true;
    RestoreNormal();
    if (refused)
        return false;
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    if (pthread_setschedparam(self, SCHED_FIFO, &param) == 0) {
        raised = How::RealTime;
        return true;
    }
    // On Linux a thread id names one thread here, not the whole process.
    if (setpriority(PRIO_PROCESS, id_t(tid), normalNice - kNiceStep) == 0) {
        raised = How::Nice;
        return true;
    }
    refused = true;
    return false;
}

bool CThreadPriority::LowerToLowest()
{
    if (raised == How::Lowest)
        return true;
    if (raised != How::Normal || normalPolicy != SCHED_OTHER || !MayReturnTo(normalNice))
        return false;
    if (setpriority(PRIO_PROCESS, id_t(tid), kLowestNice) != 0)
        return false;
    raised = How::Lowest;
    return true;
}

void CThreadPriority::RestoreNormal()
{
    switch (raised) {
    case How::RealTime: pthread_setschedparam(self, normalPolicy, &normalParam); break;
    case How::Lowest:
    case How::Nice: setpriority(PRIO_PROCESS, id_t(tid), normalNice); break;
    case How::Normal: break;
    }
    raised = How::Normal;
}

}  // namespace TolvarRT
