// The frames of one type that a source sent within the match horizon, in the
// order they were sent: what a receiver's frame of that type may be matched
// with. A frame is identified by its length and 16-bit byte sum only, so a
// type whose content never changes leaves many equal candidates; which one a
// received frame took is decided by its transit.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/time_base.h"
#include "stats/transit_median.h"

namespace TolvarRT {

// What a match found.
struct sSentMatch {
    TimeStamp sentAt = 0;
    // Another unmatched frame of equal content was in the horizon too.
    bool ambiguous = false;
};

class CSentFrames {
public:
    // Keeps the frame; drops the oldest ones that are older than keepS before
    // it or that every receiver in doneMask has matched. Allocates only while
    // the number kept grows beyond what it has held before.
    void Add(TimeStamp sentAt, std::uint16_t sum, std::uint16_t length, double keepS, std::uint32_t doneMask);

    // Marks for the receiver with this bit the frame of equal content, sent
    // no more than windowS before receivedAt, that it has not matched yet.
    // Among several, the one whose transit is closest to the expected one;
    // without an expectation, the oldest (on a link that loses nothing the
    // frames arrive in the order they were sent).
    std::optional<sSentMatch> Match(std::uint16_t sum, std::uint16_t length, std::uint32_t bit, TimeStamp receivedAt,
                                    double windowS, const sExpectedTransit& expected);

    // Frames the receiver with this bit has not matched and could still
    // match at the time now.
    std::uint32_t Pending(std::uint32_t bit, TimeStamp now, double windowS) const;

    std::size_t Size() const { return count; }
    // How many frames it has room for without allocating.
    std::size_t Capacity() const { return contents.size(); }

private:
    static std::uint32_t Content(std::uint16_t sum, std::uint16_t length)
    {
        return (std::uint32_t(sum) << 16) | length;
    }
    std::size_t Slot(std::size_t index) const { return (head + index) % contents.size(); }
    void Grow();
    // Calls visit(slot) for every frame of this content, oldest first.
    template <class Visit>
    void ForEachOfContent(std::uint32_t content, Visit&& visit) const
    {
        const std::size_t firstEnd = head + count <= contents.size() ? head + count : contents.size();
        const std::size_t secondEnd = head + count - firstEnd;
        for (std::size_t slot = head; slot < firstEnd; ++slot)
            if (contents[slot] == content)
                visit(slot);
        for (std::size_t slot = 0; slot < secondEnd; ++slot)
            if (contents[slot] == content)
                visit(slot);
    }

    // Kept apart so that the search for equal content runs over one packed
    // array: a slow link holds a hundred and more frames of a fast type.
    std::vector<std::uint32_t> contents;  // sum << 16 | length
    std::vector<TimeStamp> times;
    std::vector<std::uint32_t> matchedBy;  // receiver bits
    std::size_t head = 0;
    std::size_t count = 0;
};

}  // namespace TolvarRT
