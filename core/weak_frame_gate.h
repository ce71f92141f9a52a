// The lost-byte accounting of a decoder whose frames carry a weak check (a
// header-only RTCM v2 frame, an ATS frame), and the frames it holds back while
// a strongly checked frame that may hold their bytes is still arriving.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/frame_cover.h"
#include "core/time_base.h"

namespace TolvarRT {

// Every byte before Placed() is in a published frame or reported lost, in
// stream order. A held frame keeps the bytes from its first on unreported
// until the cover decides it: published, its bytes are placed; dropped, they
// are reported lost with those after it. Frames are published in the order
// found, so a frame found while another is held is held behind it.
//
// Thread rules: not shared; its decoder uses it under the decoder's lock.
template <std::size_t kMaxBytes, std::size_t kSlots>
class TWeakFrameGate {
public:
    using eVerdict = CFrameCover::eVerdict;
    // Settle gives up waiting for this many held frames: all of them.
    static constexpr unsigned kAll = unsigned(kSlots);

    struct sFrame {
        std::uint32_t first = 0;  // running index of its first byte
        std::uint32_t count = 0;  // bytes it spans in the stream
        TimeStamp stamp = 0;      // of the chunk that held its last byte
        std::uint16_t length = 0;
        std::array<std::uint8_t, kMaxBytes> bytes{};
    };

    std::uint32_t Placed() const { return placed; }
    // The stream goes on at index after a gap; settle every frame first.
    void RestartAt(std::uint32_t index) { placed = index; }
    bool Holding() const { return held > 0; }

    // Reports the bytes from Placed() to index with lost(first, count); while
    // a frame is held, only those before it.
    template <class Lost>
    void LostUpTo(std::uint32_t index, Lost&& lost)
    {
        if (held > 0 && std::int32_t(index - slots[head].first) > 0)
            index = slots[head].first;
        if (std::int32_t(index - placed) <= 0)
            return;
        lost(placed, index - placed);
        placed = index;
    }

    // A frame about to be published: the bytes before it are reported lost,
    // its own are placed, and the cover learns where it lies.
    template <class Lost>
    void Publishing(CFrameCover* cover, std::uint32_t first, std::uint32_t count, Lost&& lost)
    {
        if (cover != nullptr)
            cover->Claim(first, count, false);
        LostUpTo(first, lost);
        if (std::int32_t(first + count - placed) > 0)
            placed = first + count;
    }

    // What becomes of a frame just found: Clear publishes it, Covered drops it
    // (its bytes go lost with the next report), Open holds it.
    eVerdict Weigh(const CFrameCover* cover, std::uint32_t first, std::uint32_t count) const
    {
        if (held > 0)
            return eVerdict::Open;
        return cover != nullptr ? cover->Judge(first, count) : eVerdict::Clear;
    }

    // A place for a frame to hold, filled by the caller. When every place is
    // taken, the oldest is given up first (see Settle), as publish(frame).
    template <class Lost, class Publish>
    sFrame& Hold(CFrameCover* cover, std::uint32_t first, std::uint32_t count, const TimeStamp& stamp, Lost&& lost,
                 Publish&& publish)
    {
        if (held == kSlots)
            Settle(cover, 1, lost, publish);
        sFrame& frame = slots[(head + held) % kSlots];
        ++held;
        frame.first = first;
        frame.count = count;
        frame.stamp = stamp;
        return frame;
    }

    // Publishes or drops, in order, the held frames the cover has decided,
    // and the first giveUp ones whatever it says (a frame still open is then
    // published: the decoder cannot wait for the strong frame any more).
    template <class Lost, class Publish>
    void Settle(CFrameCover* cover, unsigned giveUp, Lost&& lost, Publish&& publish)
    {
        while (held > 0) {
            const sFrame& frame = slots[head];
            const eVerdict verdict = cover != nullptr ? cover->Judge(frame.first, frame.count) : eVerdict::Clear;
            if (verdict == eVerdict::Open && giveUp == 0)
                return;
            giveUp -= giveUp > 0 ? 1 : 0;
            if (verdict != eVerdict::Covered) {
                Publishing(cover, frame.first, frame.count, lost);
                publish(frame);
            }
            head = (head + 1) % kSlots;
            --held;
        }
    }

private:
    std::uint32_t placed = 0;
    std::array<sFrame, kSlots> slots{};
    unsigned head = 0;
    unsigned held = 0;
};

}  // namespace TolvarRT
