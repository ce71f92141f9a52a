// Where the frames of a side's strongly checked decoders lie, so that a frame
// with a weak check made of bytes inside one of them is not published: bytes
// that passed a CRC or a checksum with its end byte are that frame's, and a
// header-only RTCM v2 frame or an ATS frame found in them is a coincidence.
#pragma once

#include <array>
#include <cstdint>

namespace TolvarRT {

// One per byte pipe. The pipe starts each chunk with BeginChunk and delivers
// it to the strongly checked decoders first, so that by the time a weakly
// checked decoder weighs a frame, every strong decoder has taken the bytes
// it ends with: each has claimed the frames it accepted and said where a
// frame it may still accept could lie.
//
// Thread rules: used on the pipe's delivering thread under the pipe's lock.
class CFrameCover {
public:
    enum class eVerdict : std::uint8_t {
        Clear,    // in no strong frame, and none still arriving can hold it
        Covered,  // inside a frame a strong decoder accepted
        Open,     // a strong frame still arriving may hold it
    };

    // Frames claimed this long before a chunk are no longer asked
    // about: a weak frame is weighed with the chunk of its last byte, or
    // held while a strong frame that may hold it is still arriving.
    static constexpr std::uint32_t kKeptBehind = 4096;
    static constexpr unsigned kClaims = 256;
    static constexpr unsigned kPendings = 16;

    void BeginChunk(std::uint32_t firstIndex);
    // A decoder published a frame of count bytes from firstIndex; strong:
    // one that passed a strong check. A weak frame covers nothing, but no
    // frame still arriving that starts inside it can be real.
    void Claim(std::uint32_t firstIndex, std::uint32_t count, bool strong);
    // After a chunk, a strong decoder may still accept a frame that starts at
    // start (a start byte it holds) and ends at end at the latest.
    void Pending(std::uint32_t start, std::uint32_t end);
    // Whether every one of count bytes from firstIndex lies in a strong frame
    // (one, or several back to back).
    eVerdict Judge(std::uint32_t firstIndex, std::uint32_t count) const;

private:
    struct sSpan {
        std::uint32_t first = 0;
        std::uint32_t end = 0;
        // A claim: passed a strong check. A pending frame: stands for several.
        bool strong = false;
        // Whether [firstIndex, firstIndex + count) lies inside; indices wrap at 2^32.
        bool Holds(std::uint32_t firstIndex, std::uint32_t count) const
        {
            return std::int32_t(firstIndex - first) >= 0 && std::int32_t(end - (firstIndex + count)) >= 0;
        }
    };

    // Whether the strong claims, and with withPending the frames still
    // arriving, hold every byte of the span. Frames on a link do not overlap:
    // one still arriving that starts inside a published frame is not real.
    bool Covers(std::uint32_t firstIndex, std::uint32_t count, bool withPending) const;
    bool StartsInClaim(std::uint32_t index) const;

    // The newest claims, oldest overwritten first.
    std::array<sSpan, kClaims> claims{};
    unsigned newest = 0;
    unsigned claimCount = 0;
    std::array<sSpan, kPendings> pendings{};
    unsigned pendingCount = 0;
};

}  // namespace TolvarRT
