#include "core/frame_cover.h"

#include <algorithm>

namespace TolvarRT {

void CFrameCover::BeginChunk(std::uint32_t firstIndex)
{
    pendingCount = 0;
    // Claims come roughly in stream order: forget the oldest once they end
    // far behind.
    while (claimCount > 0) {
        const sSpan& oldest = claims[(newest + kClaims + 1 - claimCount) % kClaims];
        if (std::int32_t(firstIndex - oldest.end) <= std::int32_t(kKeptBehind))
            break;
        --claimCount;
    }
}

void CFrameCover::Claim(std::uint32_t firstIndex, std::uint32_t count)
{
    newest = (newest + 1) % kClaims;
    claims[newest] = {firstIndex, firstIndex + count};
    claimCount = std::min(claimCount + 1, kClaims);
}

void CFrameCover::Pending(std::uint32_t from, std::uint32_t reach)
{
    if (pendingCount < kPendings) {
        pendings[pendingCount++] = {from, reach};
        return;
    }
    // More strong decoders than places: the last place stands for them all.
    sSpan& last = pendings[kPendings - 1];
    if (std::int32_t(from - last.first) < 0)
        last.first = from;
    if (std::int32_t(reach - last.end) > 0)
        last.end = reach;
}

CFrameCover::eVerdict CFrameCover::Judge(std::uint32_t firstIndex, std::uint32_t count) const
{
    if (Covers(firstIndex, count, false))
        return eVerdict::Covered;
    return Covers(firstIndex, count, true) ? eVerdict::Open : eVerdict::Clear;
}

bool CFrameCover::Covers(std::uint32_t firstIndex, std::uint32_t count, bool withPending) const
{
    // Walks from the first byte through the spans that hold it, one after
    // the other: a frame across the end of one packet and the start of the
    // next is made of their bytes as much as one inside a single packet.
    std::uint32_t at = firstIndex;
    std::uint32_t left = count;
    while (left > 0) {
        std::uint32_t reached = 0;
        const auto step = [&](const sSpan& span) {
            if (span.Holds(at, 1))
                reached = std::max(reached, std::min(left, span.end - at));
        };
        for (unsigned k = 0; k < claimCount; ++k)
            step(claims[(newest + kClaims - k) % kClaims]);
        if (withPending)
            for (unsigned k = 0; k < pendingCount; ++k)
                step(pendings[k]);
        if (reached == 0)
            return false;
        at += reached;
        left -= reached;
    }
    return true;
}

}  // namespace TolvarRT
