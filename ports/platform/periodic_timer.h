// The periodic timer that paces the traffic generators. Ticks fall on a fixed
// grid of absolute due times, so a late wake-up never shifts the ones after it.
#pragma once

#include <chrono>

#include "core/event.h"

namespace TolvarRT {

// Thread rules: Set, Cancel and Wait belong to the one thread that paces
// itself with the timer; the stop event may be set from any thread.
class CPeriodicTimer {
public:
    enum class WaitResult { Stop, Tick, Timeout };

    // The first tick is due at firstDue (wall clock); then one every period.
    // Replaces any earlier setting.
    void Set(std::chrono::system_clock::time_point firstDue, std::chrono::milliseconds period);
    void Cancel();
    bool IsSet() const { return armed; }

    // Waits for the stop event or the next due time, whichever comes first,
    // for at most timeout. Like an auto-reset kernel timer it reports at most
    // one tick per wait: after a late wake-up the next tick is the next grid
    // point still in the future. The stop event wins when both are ready.
    WaitResult Wait(CEvent& stop, std::chrono::milliseconds timeout);

private:
    bool armed = false;
    std::chrono::steady_clock::time_point nextDue{};
    std::chrono::steady_clock::duration period{};
};

}  // namespace TolvarRT
