// A tap on one NMEA decoder that keeps the latest position it published, so
// that the position window can show whichever source is freshest.
#pragma once

#include <atomic>
#include <string>

#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/nmea_position.h"
#include "position/time_source.h"

namespace TolvarRT {

class CPositionMonitor;

// One consistent copy of a tap's fields.
struct sTapSnapshot {
    TimeStamp timeStamp = 0;
    sNMEAPosition position{};
    std::string sentence;
};

// Thread rules: OnNMEASentence runs on the thread that decodes the NMEA port,
// under the tap's own lock; while an owner is set it is called from there with
// the tap's lock held (tap lock first, then the owner's). Snapshot, Clear and
// the owner may be used from any thread.
class PositionInterceptor : public TSubscriber<IIncommingNMEAPipe> {
public:
    // lastTimeStamp starts at the construction time.
    explicit PositionInterceptor(const TimeSource& clock = SystemTimeSource());
    ~PositionInterceptor() override;

    // Sentences without a position are ignored; every position counts, one
    // without a fix too.
    void OnNMEASentence(unsigned type, const sNMEAPosition* position, const char* text,
                        const TimeStamp& timeStamp) override;

    sTapSnapshot Snapshot() const;
    // Forgets the position (valid becomes 0) and the owner.
    void Clear();

    // The monitor whose position log hears of every new position, or null.
    // Kept outside the tap's lock so that the monitor may set it while
    // holding its own.
    void SetOwnerView(CPositionMonitor* owner) { ownerView.store(owner); }
    CPositionMonitor* OwnerView() const { return ownerView.load(); }

private:
    TimeStamp lastTimeStamp;
    sNMEAPosition lastPosition{};
    std::string lastSentence;
    std::atomic<CPositionMonitor*> ownerView{nullptr};
};

}  // namespace TolvarRT
