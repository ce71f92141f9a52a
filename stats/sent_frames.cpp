#include "stats/sent_frames.h"

#include <cmath>

namespace TolvarRT {

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
        if (!done && SecondsBetween(sentAt, times[slot]) <= keepS)
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
                                             TimeStamp receivedAt, double windowS,
                                             std::optional<double> expectedTransitS)
{
    const std::uint32_t wanted = Content(sum, length);
    // The best of the frames this receiver has not matched, and the best of
    // those it has, by how far their transit is from the one expected.
    struct sBest {
        std::size_t slot = 0;
        double miss = 0.0;
        bool found = false;
    } open, taken;
    std::size_t candidates = 0;
    const auto consider = [&](std::size_t slot) {
        const double transit = SecondsBetween(receivedAt, times[slot]);
        if (transit > windowS)
            return;
        const double miss = expectedTransitS ? std::fabs(transit - *expectedTransitS) : 0.0;
        sBest& best = (matchedBy[slot] & bit) == 0 ? open : taken;
        // Oldest first: on equal terms the older frame wins.
        if (!best.found || miss < best.miss)
            best = {slot, miss, true};
        candidates += (matchedBy[slot] & bit) == 0;
    };
    const std::size_t firstEnd = head + count <= contents.size() ? head + count : contents.size();
    const std::size_t secondEnd = head + count - firstEnd;
    for (std::size_t slot = head; slot < firstEnd; ++slot)
        if (contents[slot] == wanted)
            consider(slot);
    for (std::size_t slot = 0; slot < secondEnd; ++slot)
        if (contents[slot] == wanted)
            consider(slot);
    if (!open.found)
        return std::nullopt;
    // Frames of equal content are told apart by their transit alone. When the
    // one that fits the link's delay was taken earlier by a frame that came
    // before the delay was known (or changed), this frame is timed by it and
    // the earlier claim moves to the open frame: every frame received still
    // takes one sent, and a single wrong choice does not shift every later one.
    const std::size_t timedBy = expectedTransitS && taken.found && taken.miss < open.miss ? taken.slot : open.slot;
    matchedBy[open.slot] |= bit;
    return sSentMatch{times[timedBy], candidates > 1 || timedBy != open.slot};
}

std::uint32_t CSentFrames::Pending(std::uint32_t bit, TimeStamp now, double windowS) const
{
    std::uint32_t pending = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = Slot(i);
        if ((matchedBy[slot] & bit) == 0 && SecondsBetween(now, times[slot]) <= windowS)
            ++pending;
    }
    return pending;
}

}  // namespace TolvarRT
