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

}  // namespace TolvarRT
