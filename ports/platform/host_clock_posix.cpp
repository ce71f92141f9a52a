// Linux keeps the NTP state of its clock in the kernel, whoever disciplines it
// (chrony, ntpd, systemd-timesyncd): ntp_adjtime with no mode bits reads that
// state and changes nothing, so it needs no privilege.
#include <sys/timex.h>

#include "ports/platform/host_clock.h"

namespace TolvarRT {

sHostClockState HostClockStateFromKernel(int result, int status, long estimatedErrorUs, long maximumErrorUs)
{
    sHostClockState state;
    if (result == -1)
        return state;
    state.known = true;
    // TIME_ERROR is the kernel's own summary of an unsynchronised clock; the
    // status bit is what the time daemon last set.
    state.synchronised = result != TIME_ERROR && (status & STA_UNSYNC) == 0;
    state.estimatedErrorS = estimatedErrorUs > 0 ? double(estimatedErrorUs) * 1e-6 : 0.0;
    state.maximumErrorS = maximumErrorUs > 0 ? double(maximumErrorUs) * 1e-6 : 0.0;
    return state;
}

sHostClockState ReadHostClockState()
{
    timex reading{};
    reading.modes = 0;
    const int result = ntp_adjtime(&reading);
    return HostClockStateFromKernel(result, reading.status, reading.esterror, reading.maxerror);
}

}  // namespace TolvarRT
