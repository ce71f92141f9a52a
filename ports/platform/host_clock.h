// How far the host's clock can be trusted: the kernel's view of its
// synchronisation (Linux: ntp_adjtime), read without changing anything.
#pragma once

namespace TolvarRT {

struct sHostClockState {
    bool known = false;         // the system could say
    bool synchronised = false;  // not flagged unsynchronised
    double estimatedErrorS = 0.0;
    double maximumErrorS = 0.0;
};

sHostClockState ReadHostClockState();

#ifndef _WIN32
// What the kernel's answer says: ntp_adjtime's result (-1: no answer), its
// status bits and its estimated and maximum errors in microseconds. Apart from
// the call so that every answer the kernel can give is tested.
sHostClockState HostClockStateFromKernel(int result, int status, long estimatedErrorUs, long maximumErrorUs);
#endif

}  // namespace TolvarRT
