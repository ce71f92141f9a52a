#include "position/position_interceptor.h"

#include <mutex>

#include "position/position_monitor.h"

namespace TolvarRT {

PositionInterceptor::PositionInterceptor(const TimeSource& clock) : lastTimeStamp(clock()) {}

PositionInterceptor::~PositionInterceptor()
{
    Unsubscribe();
}

void PositionInterceptor::OnNMEASentence(unsigned /*type*/, const sNMEAPosition* position, const char* text,
                                         const TimeStamp& timeStamp)
{
    if (position == nullptr)
        return;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    lastTimeStamp = timeStamp;
    lastPosition = *position;
    // The decoder hands the sentence on without its "$"; the window shows it whole.
    lastSentence.assign(1, '$');
    if (text != nullptr)
        lastSentence.append(text);
    if (CPositionMonitor* owner = ownerView.load())
        owner->WritePositionLine(*this, lastPosition, lastTimeStamp);
}

sTapSnapshot PositionInterceptor::Snapshot() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return {lastTimeStamp, lastPosition, lastSentence};
}

void PositionInterceptor::Clear()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    lastPosition = sNMEAPosition{};
    ownerView.store(nullptr);
}

}  // namespace TolvarRT
