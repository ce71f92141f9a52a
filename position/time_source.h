// Where the position models read the time: the monotonic clock in the
// program, a hand-driven clock in tests, so that rates and ages over minutes
// are checked in an instant.
#pragma once

#include <functional>

#include "core/time_base.h"

namespace TolvarRT {

using TimeSource = std::function<TimeStamp()>;

// The process clock.
inline TimeSource SystemTimeSource()
{
    return [] { return TimeStampNow(); };
}

}  // namespace TolvarRT
