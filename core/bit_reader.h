// Reads the bit fields of a binary frame, most significant bit first, from a
// borrowed byte buffer. Every read is checked against the bits present: one
// that would run past the end reads nothing, returns 0 and leaves the reader
// failed, so a frame's fields are read one after the other and checked once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace TolvarRT {

// Thread rules: not shared; it holds no lock and allocates nothing.
class CBitReader {
public:
    CBitReader(const std::uint8_t* data, std::size_t length) : bytes(data), bitCount(length * 8) {}

    // The next count bits (0..64) as an unsigned number; 0 when they are not
    // all there.
    std::uint64_t Read(unsigned count)
    {
        if (count > 64 || !Take(count)) {
            ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        std::size_t at = position - count;
        // The bits before a byte boundary, then whole bytes, then the rest.
        while (count > 0) {
            const unsigned offset = unsigned(at & 7u);
            const unsigned inByte = 8 - offset < count ? 8 - offset : count;
            const unsigned byte = bytes[at >> 3];
            const unsigned piece = (byte >> (8 - offset - inByte)) & ((1u << inByte) - 1u);
            value = (value << inByte) | piece;
            at += inByte;
            count -= inByte;
        }
        return value;
    }

    // The next count bits (1..64) as a two's complement number.
    std::int64_t ReadSigned(unsigned count)
    {
        const std::uint64_t raw = Read(count);
        if (count == 0 || count >= 64)
            return std::int64_t(raw);
        const std::uint64_t sign = std::uint64_t(1) << (count - 1);
        return std::int64_t(raw ^ sign) - std::int64_t(sign);
    }

    // Passes over count bits; false (and failed) when they are not all there.
    bool Skip(std::size_t count) { return Take(count); }

    // Whether every read so far found its bits.
    bool Ok() const { return ok; }
    std::size_t Position() const { return position; }
    std::size_t Remaining() const { return bitCount - position; }

private:
    bool Take(std::size_t count)
    {
        if (!ok || count > bitCount - position) {
            ok = false;
            return false;
        }
        position += count;
        return true;
    }

    const std::uint8_t* bytes;
    std::size_t bitCount;
    std::size_t position = 0;
    bool ok = true;
};

}  // namespace TolvarRT
