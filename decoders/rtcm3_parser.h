// Finds RTCM 3 transport frames (0xD3, 6 reserved bits, 10-bit length,
// payload, CRC-24Q) in a byte stream that arrives in pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace TolvarRT {

// CRC-24Q (polynomial 0x1864CFB, initial value 0, no final XOR, most
// significant bit first), byte-wise with a 256-entry table. Pass the result
// of a previous call as crc to continue over a further piece.
std::uint32_t Crc24q(const std::uint8_t* data, std::size_t length, std::uint32_t crc = 0);

// A frame scanner with its own ring: bytes that cannot be decided yet (the
// start of a frame still arriving) wait there for the next call.
//
// Thread rules: not shared. Its owner calls it under the owner's own lock.
class CRTCM3Parser {
public:
    static constexpr std::uint8_t kPreamble = 0xD3;
    static constexpr unsigned kHeaderSize = 3;
    static constexpr unsigned kCrcSize = 3;
    static constexpr unsigned kMaxPayload = 1023;  // all the 10-bit length field can say
    static constexpr unsigned kMaxFrame = kHeaderSize + kMaxPayload + kCrcSize;
    static constexpr unsigned kRingSize = 2048;
    // One index stays free so that equal indices mean an empty ring.
    static constexpr unsigned kRingCapacity = kRingSize - 1;

    CRTCM3Parser() = default;
    CRTCM3Parser(const CRTCM3Parser&) = delete;
    CRTCM3Parser& operator=(const CRTCM3Parser&) = delete;

    // Forgets every byte waiting in the ring.
    virtual void Reset();
    virtual ~CRTCM3Parser() = default;

    // Appends as much of input as the ring has room for (consumed says how
    // much: all of it unless FreeSpace() was smaller) and scans for one frame.
    // On success payload points to the frame's L payload bytes, valid until
    // the next call, and messageNumber holds their first 12 bits (the bits
    // present, when L < 2). On failure payload is null and length 0. Bytes
    // that can no longer start a frame leave the ring; a frame that is still
    // arriving stays, from its 0xD3 on, unless lookInside is set and a whole
    // frame with a good CRC already lies inside it: then that one is found and
    // the bytes before it leave the ring.
    bool Parse(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
               const std::uint8_t*& payload, std::uint16_t& length, unsigned& messageNumber, bool lookInside = true);

    // Bytes waiting in the ring, and the room left for the next input.
    unsigned Pending() const { return (writeIndex - readIndex) & kMask; }
    unsigned FreeSpace() const { return kRingCapacity - Pending(); }
    // Calls found(offset, end) for every 0xD3 among the waiting bytes, where a
    // frame still arriving may start: offsets from the first waiting byte, end
    // from the length it announces (the longest frame when that has not come).
    template <class Found>
    void ForEachPendingStart(Found&& found) const
    {
        const unsigned available = Pending();
        // The waiting bytes lie in at most two pieces of the ring.
        for (unsigned offset = 0; offset < available;) {
            const unsigned at = (readIndex + offset) & kMask;
            const unsigned piece = available - offset < kRingSize - at ? available - offset : kRingSize - at;
            const void* start = std::memchr(ring + at, kPreamble, piece);
            if (start == nullptr) {
                offset += piece;
                continue;
            }
            offset += unsigned(static_cast<const std::uint8_t*>(start) - (ring + at));
            const unsigned payloadLength =
                offset + 2 < available ? ((At(offset + 1) & 0x03u) << 8) | At(offset + 2) : kMaxPayload;
            found(offset, offset + kHeaderSize + payloadLength + kCrcSize);
            ++offset;
        }
    }

private:
    static constexpr unsigned kMask = kRingSize - 1;
    static_assert((kRingSize & kMask) == 0, "the ring indices wrap by masking");

    std::uint8_t At(unsigned offset) const { return ring[(readIndex + offset) & kMask]; }
    void Append(const std::uint8_t* input, unsigned count);
    // Moves readIndex to the next 0xD3; false when none is waiting.
    bool SkipToPreamble();
    std::uint32_t RingCrc(unsigned offset, unsigned count) const;
    // Whether the frame at offset, of the payload length given, carries a good CRC.
    bool CrcMatches(unsigned offset, unsigned payloadLength) const;
    // The offset of the first whole frame with a good CRC after the 0xD3 at
    // readIndex, among the available bytes; 0 when there is none.
    unsigned FindHeldFrame(unsigned available);
    const std::uint8_t* PayloadAt(unsigned offset, unsigned count);

    std::uint8_t ring[kRingSize];
    // Only for a payload that wraps round the end of the ring.
    std::uint8_t payloadBuffer[kMaxPayload];
    std::uint16_t writeIndex = 0;
    std::uint16_t readIndex = 0;
    // Frames inside the one at lookedFor that end within its first lookedSpan
    // bytes were checked already; 0 once readIndex may have moved.
    std::uint16_t lookedFor = 0;
    std::uint16_t lookedSpan = 0;
};

}  // namespace TolvarRT
