// A clock the test moves by hand, for models that read the time through a
// TimeSource: minutes of rates and ages are checked in an instant.
#pragma once

#include <chrono>
#include <cmath>

#include "core/time_base.h"

namespace TolvarRT::testing {

class ManualClock {
public:
    // Ticks of the monotonic clock in seconds.
    static TimeStamp Ticks(double seconds)
    {
        const std::chrono::duration<double> span(seconds);
        return std::chrono::duration_cast<std::chrono::steady_clock::duration>(span).count();
    }

    TimeStamp Now() const { return now; }
    void Advance(double seconds) { now += Ticks(seconds); }
    void Set(TimeStamp value) { now = value; }
    // Reads this clock for as long as the clock lives.
    auto Source()
    {
        return [this] { return now; };
    }

private:
    TimeStamp now = Ticks(1000.0);
};

}  // namespace TolvarRT::testing
