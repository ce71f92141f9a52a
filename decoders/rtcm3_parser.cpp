// The RTCM 3 frame scanner: a ring, a CRC-24Q table and the resynchronising scan.
#include "decoders/rtcm3_parser.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace TolvarRT {
namespace {

constexpr std::uint32_t kCrc24qPolynomial = 0x1864CFB;

// The CRC is kept in the top 24 bits of a 32-bit register, so that eight
// bytes at a time can be folded in with eight tables (slicing by eight):
// kCrcTables[k][b] is the register after byte b followed by k zero bytes.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables()
{
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if (crc & 0x1000000)
                crc ^= kCrc24qPolynomial;
        }
        tables[0][i] = (crc & 0xFFFFFF) << 8;
    }
    for (unsigned k = 1; k < tables.size(); ++k)
        for (std::uint32_t i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 24];
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

std::uint32_t LoadBigEndian32(const std::uint8_t* data)
{
    return (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) | (std::uint32_t(data[2]) << 8) | data[3];
}

// The register (CRC in the top 24 bits) after data, eight bytes at a time.
std::uint32_t SlicedCrc(const std::uint8_t* data, std::size_t length, std::uint32_t reg)
{
    for (; length >= 8; length -= 8, data += 8) {
        const std::uint32_t first = reg ^ LoadBigEndian32(data);
        const std::uint32_t second = LoadBigEndian32(data + 4);
        reg = kCrcTables[7][first >> 24] ^ kCrcTables[6][(first >> 16) & 0xFF] ^ kCrcTables[5][(first >> 8) & 0xFF] ^
              kCrcTables[4][first & 0xFF] ^ kCrcTables[3][second >> 24] ^ kCrcTables[2][(second >> 16) & 0xFF] ^
              kCrcTables[1][(second >> 8) & 0xFF] ^ kCrcTables[0][second & 0xFF];
    }
    for (; length > 0; --length, ++data)
        reg = (reg << 8) ^ kCrcTables[0][(reg >> 24) ^ *data];
    return reg;
}

#if defined(__x86_64__)
// x^n modulo the register's polynomial (the CRC polynomial times x^8).
constexpr std::uint64_t PowerOfXModulo(unsigned n)
{
    constexpr std::uint64_t kRegisterPolynomial = std::uint64_t(kCrc24qPolynomial) << 8;
    std::uint64_t value = 1;
    for (unsigned i = 0; i < n; ++i) {
        value <<= 1;
        if (value & (std::uint64_t(1) << 32))
            value ^= kRegisterPolynomial;
    }
    return value;
}

// With a carry-less multiplier, 16 bytes at a time: the 128 bits held so far
// are carried past the next 16 bytes by multiplying each half with x^192 or
// x^128 modulo the polynomial, which keeps the remainder unchanged. The last
// 128 bits are then reduced by the tables, as the 16 bytes they stand for.
__attribute__((target("pclmul,ssse3"))) std::uint32_t FoldedCrc(const std::uint8_t* data, std::size_t length,
                                                                std::uint32_t reg)
{
    // Byte 0 of the stream is the most significant: the loads are reversed.
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    constexpr std::uint64_t kPast192 = PowerOfXModulo(192);
    constexpr std::uint64_t kPast128 = PowerOfXModulo(128);
    const __m128i constants = _mm_set_epi64x(std::int64_t(kPast192), std::int64_t(kPast128));
    __m128i held = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), reverse);
    held = _mm_xor_si128(held, _mm_set_epi32(std::int32_t(reg), 0, 0, 0));
    data += 16;
    length -= 16;
    for (; length >= 16; length -= 16, data += 16) {
        const __m128i next = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), reverse);
        held = _mm_xor_si128(
            _mm_xor_si128(_mm_clmulepi64_si128(held, constants, 0x11), _mm_clmulepi64_si128(held, constants, 0x00)),
            next);
    }
    alignas(16) std::uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(held, reverse));
    return SlicedCrc(data, length, SlicedCrc(bytes, sizeof bytes, 0));
}

// Short pieces stay with the tables, whose start costs nothing.
constexpr std::size_t kFoldFrom = 64;
const bool canFold = (__builtin_cpu_init(), __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3"));
#endif

}  // namespace

std::uint32_t Crc24q(const std::uint8_t* data, std::size_t length, std::uint32_t crc)
{
#if defined(__x86_64__)
    if (length >= kFoldFrom && canFold)
        return FoldedCrc(data, length, crc << 8) >> 8;
#endif
    return SlicedCrc(data, length, crc << 8) >> 8;
}

void CRTCM3Parser::Reset()
{
    writeIndex = 0;
    readIndex = 0;
    lookedSpan = 0;
}

void CRTCM3Parser::Append(const std::uint8_t* input, unsigned count)
{
    if (count == 0)
        return;
    const unsigned first = std::min(count, kRingSize - writeIndex);
    std::memcpy(ring + writeIndex, input, first);
    std::memcpy(ring, input + first, count - first);
    writeIndex = std::uint16_t((writeIndex + count) & kMask);
}

bool CRTCM3Parser::SkipToPreamble()
{
    while (readIndex != writeIndex) {
        const unsigned run = (writeIndex > readIndex ? writeIndex : kRingSize) - readIndex;
        const void* found = std::memchr(ring + readIndex, kPreamble, run);
        if (found != nullptr) {
            readIndex = std::uint16_t(static_cast<const std::uint8_t*>(found) - ring);
            return true;
        }
        readIndex = std::uint16_t((readIndex + run) & kMask);
    }
    return false;
}

std::uint32_t CRTCM3Parser::RingCrc(unsigned offset, unsigned count) const
{
    const unsigned start = (readIndex + offset) & kMask;
    const unsigned first = std::min(count, kRingSize - start);
    return Crc24q(ring, count - first, Crc24q(ring + start, first));
}

bool CRTCM3Parser::CrcMatches(unsigned offset, unsigned payloadLength) const
{
    const unsigned crcAt = offset + kHeaderSize + payloadLength;
    const std::uint32_t sent = (std::uint32_t(At(crcAt)) << 16) | (std::uint32_t(At(crcAt + 1)) << 8) | At(crcAt + 2);
    return RingCrc(offset, kHeaderSize + payloadLength) == sent;
}

unsigned CRTCM3Parser::FindHeldFrame(unsigned available)
{
    // The index alone names the frame still arriving only while no call in
    // between has moved readIndex, which could have brought it round the ring.
    const unsigned lookedBefore = lookedFor == readIndex ? lookedSpan : 0;
    lookedFor = readIndex;
    lookedSpan = std::uint16_t(available);
    // Inner frames start from offset 1 to the last that leaves room for a
    // header and a CRC; the ring is searched a contiguous piece at a time.
    const unsigned lastStart = available - (kHeaderSize + kCrcSize);
    for (unsigned offset = 1; offset <= lastStart; ++offset) {
        const unsigned start = (readIndex + offset) & kMask;
        const unsigned run = std::min(lastStart + 1 - offset, kRingSize - start);
        const void* found = std::memchr(ring + start, kPreamble, run);
        if (found == nullptr) {
            offset += run - 1;
            continue;
        }
        offset += unsigned(static_cast<const std::uint8_t*>(found) - (ring + start));
        const unsigned payloadLength = ((At(offset + 1) & 0x03u) << 8) | At(offset + 2);
        const unsigned end = offset + kHeaderSize + payloadLength + kCrcSize;
        if (end > lookedBefore && end <= available && CrcMatches(offset, payloadLength))
            return offset;
    }
    return 0;
}

const std::uint8_t* CRTCM3Parser::PayloadAt(unsigned offset, unsigned count)
{
    const unsigned start = (readIndex + offset) & kMask;
    if (start + count <= kRingSize)
        return ring + start;
    const unsigned first = kRingSize - start;
    std::memcpy(payloadBuffer, ring + start, first);
    std::memcpy(payloadBuffer + first, ring, count - first);
    return payloadBuffer;
}

bool CRTCM3Parser::Parse(const std::uint8_t* input, std::uint32_t inputLength, std::uint32_t& consumed,
                         const std::uint8_t*& payload, std::uint16_t& length, unsigned& messageNumber, bool lookInside)
{
    payload = nullptr;
    length = 0;
    messageNumber = 0;
    // Unread bytes are never overwritten: what does not fit stays with the caller.
    consumed = std::min<std::uint32_t>(inputLength, FreeSpace());
    Append(input, consumed);

    while (SkipToPreamble()) {
        const unsigned available = Pending();
        if (available < kHeaderSize + kCrcSize)
            break;
        // Any value of the 6 reserved bits is accepted.
        const unsigned payloadLength = ((At(1) & 0x03u) << 8) | At(2);
        if (available < kHeaderSize + payloadLength + kCrcSize) {
            // A stray 0xD3 whose length runs past the bytes received must not
            // hold a whole frame behind it until enough bytes come to reject
            // it, or for ever on a line gone quiet.
            if (!lookInside) {
                // The record of the last look holds only while readIndex stays.
                if (readIndex != lookedFor)
                    lookedSpan = 0;
                return false;
            }
            const unsigned held = FindHeldFrame(available);
            if (held == 0)
                return false;
            readIndex = std::uint16_t((readIndex + held) & kMask);
            continue;
        }
        if (!CrcMatches(0, payloadLength)) {
            // Only the 0xD3 is spent: a real frame may start inside this one.
            readIndex = std::uint16_t((readIndex + 1) & kMask);
            continue;
        }
        lookedSpan = 0;
        const unsigned crcAt = kHeaderSize + payloadLength;
        payload = PayloadAt(kHeaderSize, payloadLength);
        length = std::uint16_t(payloadLength);
        if (payloadLength >= 2)
            messageNumber = (unsigned(payload[0]) << 4) | (payload[1] >> 4);
        else if (payloadLength == 1)
            messageNumber = unsigned(payload[0]) << 4;
        readIndex = std::uint16_t((readIndex + crcAt + kCrcSize) & kMask);
        return true;
    }
    lookedSpan = 0;
    return false;
}

}  // namespace TolvarRT
