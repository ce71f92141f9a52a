// Windows has no call that says how well its clock is synchronised (w32time
// keeps that to itself), so the host clock's state is unknown there.
#include "ports/platform/host_clock.h"

namespace TolvarRT {

sHostClockState ReadHostClockState()
{
    return {};
}

}  // namespace TolvarRT
