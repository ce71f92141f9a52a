#include "stats/sent_frames.h"

#include <cmath>

namespace TolvarRT {
namespace {

TimeStamp Ticks(double seconds)
{
    static const double secondsPerTick = SecondsBetween(1, 0);
    return TimeStamp(std::llround(seconds / secondsPerTick));
}

}  // namespace

void CSentFrames::Grow()
{
    const std::size_t size = contents.empty() ? 16 : contents.size() * 2;
    std::vector<std::uint32_t> newContents(size);
    std::vector<TimeStamp> newTimes(size);
    std::vector<std::uint32_t> newMatchedBy(size);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = Slot(i);
        newContents[i] = contents[slot];
        newTimes[i] = times[slot];
        newMatchedBy[i] = matchedBy[slot];
    }
    contents.swap(newContents);
    times.swap(newTimes);
    matchedBy.swap(newMatchedBy);
    head = 0;
}

void CSentFrames::Add(TimeStamp sentAt, std::uint16_t sum, std::uint16_t length, double keepS, std::uint32_t doneMask)
{
    while (count != 0) {
        const std::size_t slot = head;
        const bool done = doneMask != 0 && (matchedBy[slot] & doneMask) == doneMask;
        if (!done && times[slot] >= sentAt - Ticks(keepS))
            break;
        head = (head + 1) % contents.size();
        --count;
    }
    if (count == contents.size())
        Grow();
    const std::size_t slot = Slot(count);
    contents[slot] = Content(sum, length);
    times[slot] = sentAt;
    matchedBy[slot] = 0;
    ++count;
}

std::optional<sSentMatch> CSentFrames::Match(std::uint16_t sum, std::uint16_t length, std::uint32_t bit,
                                             TimeStamp receivedAt, double windowS, const sExpectedTransit& expected)
{
    const std::uint32_t wanted = Content(sum, length);
    const TimeStamp oldest = receivedAt - Ticks(windowS);
    // Most frames change their content: one candidate, nothing to weigh.
    std::size_t first = 0;
    std::size_t open = 0;
    bool anyTaken = false;
    ForEachOfContent(wanted, [&](std::size_t slot) {
        if (times[slot] < oldest)
            return;
        if ((matchedBy[slot] & bit) != 0) {
            anyTaken = true;
        } else if (open++ == 0) {
            first = slot;
        }
    });
    if (open == 0)
        return std::nullopt;
    if (open == 1 && !anyTaken) {
        matchedBy[first] |= bit;
        return sSentMatch{times[first], false};
    }
    const std::optional<double> expectedS = expected.Seconds();
    if (!expectedS) {
        matchedBy[first] |= bit;
        return sSentMatch{times[first], open > 1};
    }
    // The frame of this receiver's choice and the one it took before, each
    // the closest to the expected send time; on equal terms the older.
    const TimeStamp expectedSentAt = receivedAt - Ticks(*expectedS);
    struct sBest {
        std::size_t slot = 0;
        TimeStamp miss = 0;
        bool found = false;
    } best, taken;
    ForEachOfContent(wanted, [&](std::size_t slot) {
        if (times[slot] < oldest)
            return;
        const TimeStamp miss =
            times[slot] > expectedSentAt ? times[slot] - expectedSentAt : expectedSentAt - times[slot];
        sBest& into = (matchedBy[slot] & bit) == 0 ? best : taken;
        if (!into.found || miss < into.miss)
            into = {slot, miss, true};
    });
    // Frames of equal content are told apart by their transit alone. When the
    // one that fits the link's delay was taken earlier by a frame that came
    // before the delay was known (or changed), this frame is timed by it and
    // the earlier claim moves to the open frame: every frame received still
    // takes one sent, and a single wrong choice does not shift every later one.
    const std::size_t timedBy = taken.found && taken.miss < best.miss ? taken.slot : best.slot;
    matchedBy[best.slot] |= bit;
    return sSentMatch{times[timedBy], true};
}

std::uint32_t CSentFrames::Pending(std::uint32_t bit, TimeStamp now, double windowS) const
{
    std::uint32_t pending = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = Slot(i);
        if ((matchedBy[slot] & bit) == 0 && times[slot] >= now - Ticks(windowS))
            ++pending;
    }
    return pending;
}

}  // namespace TolvarRT
