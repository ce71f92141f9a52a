// Windows grants every process the time-critical level within its priority
// class, so raising never fails for want of a privilege there.
#include <windows.h>

#include "ports/platform/thread_priority.h"

namespace TolvarRT {

CThreadPriority::CThreadPriority()
{
    // The object belongs to the thread that created it: the pseudo-handle
    // of the current thread always names that thread.
    const int priority = GetThreadPriority(GetCurrentThread());
    normalPriority = priority == THREAD_PRIORITY_ERROR_RETURN ? THREAD_PRIORITY_NORMAL : priority;
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
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
        raised = How::RealTime;
        return true;
    }
    refused = true;
    return false;
}

bool CThreadPriority::LowerToLowest()
{
    if (raised == How::Lowest)
        return true;
    if (raised != How::Normal || !SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST))
        return false;
    raised = How::Lowest;
    return true;
}

void CThreadPriority::RestoreNormal()
{
    if (raised != How::Normal)
        SetThreadPriority(GetCurrentThread(), normalPriority);
    raised = How::Normal;
}

}  // namespace TolvarRT
