// Time stamps chosen by a test: seconds after a fixed base, in the tick of
// the monotonic clock, for code that is handed its time stamps.
#pragma once

#include "core/time_base.h"

namespace TolvarRT::testing {

constexpr TimeStamp kChosenTimeBase = 1'000'000'000'000;

inline TimeStamp At(double seconds)
{
    return kChosenTimeBase + TimeStamp(seconds * 1e9);
}

}  // namespace TolvarRT::testing
