// When one side of a link stopped hearing a frame type, or the whole link,
// and when its bytes came in corrupt: judged from the arrival times of the
// frames, the periods the collection estimated and the rejected bytes the
// side's byte pipe counted.
//
// Outage of a type (with a known period): no frame for the failure
// threshold (3 periods, at least 5 s); it ends once frames have come again
// for the recovery threshold (2 periods) without another such gap, and it
// lasted from the last frame before the gap to the first one after it.
// Outage of the whole link: no frame of any type for the failure threshold
// of the fastest type with a known period (so, at least 5 s), ending as a
// type's does with the fastest type's recovery threshold. Until some type's
// period is known (the collection needs 16 frames), the fastest provisional
// period stands in: the median of a type's first 3 intervals, rounded as the
// collection rounds its estimate, so that a link that goes quiet seconds
// into a run is an outage too. A type's own outages wait for its known
// period: a type may be irregular, and 3 intervals say little of it.
// Corruption: begins with the first rejected bytes after a clean spell;
// ends once no bytes have been rejected for the recovery time (2 periods of
// the fastest type, at least 2 s) and a good frame came after the last
// rejected bytes; it lasted from the first rejected bytes to the first good
// frame after the last ones.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "core/time_base.h"
#include "stats/link_event.h"

namespace TolvarRT {

struct sHealthThresholds {
    double failurePeriods = 3.0;
    double minimumFailureS = 5.0;
    double recoveryPeriods = 2.0;
    double minimumCorruptionRecoveryS = 2.0;
};

// One outage, ended or not.
struct sOutage {
    bool wholeLink = false;
    std::uint32_t key = 0;         // 0 with wholeLink
    TimeStamp start = 0;           // the last frame before the gap
    std::optional<TimeStamp> end;  // the first frame after it; none while still out
    double durationS = 0.0;        // to the end, or to when the list was read
};

struct sHealthCounts {
    std::uint64_t typeOutages = 0;  // begun, over every type
    std::uint64_t linkOutages = 0;
    std::uint64_t corruptedSpells = 0;
    std::uint64_t rejectedBytes = 0;
    double outageSeconds = 0.0;  // of the whole link's outages, ended or not, as of the reading
    double corruptedSeconds = 0.0;
};

// A period from a few intervals of a type's first frames: their median, in
// whole seconds from about one second up, else a whole rate per second; 0
// when slower than one frame in two seconds but under 1 s (no such rate).
double ProvisionalPeriod(std::vector<double> intervals);

// Whether an outage of the whole link was under way at some time in
// [from, to]: one still going on counts from its start.
bool LinkWasOutBetween(const std::vector<sOutage>& outages, TimeStamp from, TimeStamp to);

// Thread rules: none of its own; its owner (the collection) calls it under
// its lock.
class CLinkHealth {
public:
    // Told of every judged event, with its source and its time filled in.
    using Judged = std::function<void(const sLinkEvent& event)>;

    explicit CLinkHealth(Judged onEvent, sHealthThresholds thresholds = {});

    void Reset();
    // A good frame of the key; period: the type's estimated period, s, 0
    // while unknown.
    void OnFrame(std::uint32_t key, double period, TimeStamp time);
    void OnRejected(std::uint64_t bytes, TimeStamp time);
    // Lets time pass without frames: judges the outages that began by now and
    // the corruption that ended.
    void Check(TimeStamp now);

    std::vector<sOutage> Outages(TimeStamp now) const;
    sHealthCounts Counts(TimeStamp now) const;
    // Outages begun for the key (0: the whole link).
    std::uint64_t OutagesOf(std::uint32_t key) const;
    bool IsCorrupted() const { return corrupted; }

private:
    static constexpr std::size_t kProvisionalIntervals = 3;

    struct sStream {
        double period = 0.0;
        // The first intervals between frames that did not come together.
        std::array<double, kProvisionalIntervals> firstIntervals{};
        std::size_t intervalsSeen = 0;
        double provisional = 0.0;  // once the first intervals are in
        TimeStamp lastFrame = 0;
        bool seen = false;
        bool out = false;
        std::size_t outage = 0;            // index into outages while out
        std::optional<TimeStamp> resumed;  // first frame after the gap
        std::uint64_t outages = 0;
    };

    double FailureS(double period) const;
    double RecoveryS(double period) const;
    // Of the types with a known period; without one, of the provisional.
    // Worked out again only after a type's period changed: every frame asks.
    double FastestPeriod() const;
    void Arrive(sStream& stream, bool wholeLink, std::uint32_t key, double period, TimeStamp time);
    void JudgeGap(sStream& stream, bool wholeLink, std::uint32_t key, double period, TimeStamp now);
    void JudgeCorruptionEnd(TimeStamp now);
    void Tell(eLinkEventKind kind, bool wholeLink, std::uint32_t key, TimeStamp time, double durationS);

    Judged onEvent;
    const sHealthThresholds thresholds;
    std::map<std::uint32_t, sStream> types;
    mutable std::optional<double> fastestPeriod;  // empty: to be worked out
    sStream link;
    std::vector<sOutage> outages;
    bool corrupted = false;
    TimeStamp corruptedSince = 0;
    TimeStamp lastRejected = 0;
    std::optional<TimeStamp> goodAfterRejected;
    std::uint64_t corruptedSpells = 0;
    double corruptedSeconds = 0.0;  // of ended spells
    std::uint64_t rejectedBytes = 0;
};

}  // namespace TolvarRT
