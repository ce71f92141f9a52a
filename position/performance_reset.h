// What a test document asks of its position window: the CMR rate starts
// counting afresh when a new link is connected.
#pragma once

namespace TolvarRT {

// Thread rules: called on the user-interface thread.
class IPerformanceReset {
public:
    virtual void ResetPerformance() = 0;

protected:
    ~IPerformanceReset() = default;
};

}  // namespace TolvarRT
