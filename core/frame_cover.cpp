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

void CFrameCover::Claim(std::uint32_t firstIndex, std::uint32_t count, bool strong)
{
    newest = (newest + 1) % kClaims;
    claims[newest] = {firstIndex, firstIndex + count, strong};
    claimCount = std::min(claimCount + 1, kClaims);
}

void CFrameCover::Pending(std::uint32_t start, std::uint32_t end)
{
    if (pendingCount < kPendings) {
        pendings[pendingCount++] = {start, end, false};
        return;
    }
    // More than there are places: the last stands for them all.
    sSpan& last = pendings[kPendings - 1];
    last.strong = true;
    if (std::int32_t(start - last.first) < 0)
        last.first = start;
    if (std::int32_t(end - last.end) > 0)
        last.end = end;
}

CFrameCover::eVerdict CFrameCover::Judge(std::uint32_t firstIndex, std::uint32_t count) const
{
    if (Covers(firstIndex, count, false))
        return eVerdict::Covered;
    return Covers(firstIndex, count, true) ? eVerdict::Open : eVerdict::Clear;
}

bool CFrameCover::StartsInClaim(std::uint32_t index) const
{
    for (unsigned k = 0; k < claimCount; ++k)
        if (claims[(newest + kClaims - k) % kClaims].Holds(index, 1))
            return true;
    return false;
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
        for (unsigned k = 0; k < claimCount; ++k) {
            const sSpan& claim = claims[(newest + kClaims - k) % kClaims];
            if (claim.strong)
                step(claim);
        }
        if (withPending)
            for (unsigned k = 0; k < pendingCount; ++k)
                if (pendings[k].strong || !StartsInClaim(pendings[k].first))
                    step(pendings[k]);
        if (reached == 0)
            return false;
        at += reached;
        left -= reached;
    }
    return true;
}

}  // namespace TolvarRT
