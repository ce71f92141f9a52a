// What every part of the radio handler reads and writes on the wire: the
// sub-commands of a radio command packet, the markers inside its replies, and
// the byte order of their fields (most significant byte first). Only the
// radio handler's own files include it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "radio/dc77_handler.h"

namespace TolvarRT::dc77 {

using Guard = std::lock_guard<std::recursive_mutex>;

// Sub-commands of a radio command packet.
enum : std::uint8_t {
    kSubReset = 0x09,
    kSubRadioOff = 0x24,
    kSubRadioOn = 0x25,
    kSubChannelTable = 0x28,
    kSubSetChannel = 0x29,
    kSubFlags = 0x2E,
    kSubIdentity = 0x30,
    kSubReport = 0x60,
    kSubPipe = 0x62,
    kSubState = 0x65,
    kSubBluetooth = 0x66,
};

// The identity reply carries no echo: it is told by the text it starts with.
inline constexpr char kProductKey[] = "PRODUCT";
inline constexpr unsigned kProductKeyLength = sizeof(kProductKey) - 1;
inline constexpr std::uint8_t kPipePut = 'P';

inline std::uint32_t Read32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

inline std::uint16_t Read16(const std::uint8_t* bytes)
{
    return std::uint16_t(bytes[0] << 8 | bytes[1]);
}

inline void Put32(std::uint8_t* bytes, std::uint32_t value)
{
    bytes[0] = std::uint8_t(value >> 24);
    bytes[1] = std::uint8_t(value >> 16);
    bytes[2] = std::uint8_t(value >> 8);
    bytes[3] = std::uint8_t(value);
}

// The bytes up to the first zero byte.
inline std::string TextUpToZero(const std::uint8_t* bytes, unsigned length)
{
    const std::uint8_t* end = std::find(bytes, bytes + length, 0);
    return std::string(bytes, end);
}

// Whether a data reply is the radio's identity text.
inline bool IsIdentityText(const std::uint8_t* data, std::uint8_t length)
{
    return length >= kProductKeyLength && std::memcmp(data, kProductKey, kProductKeyLength) == 0;
}

inline bool IsEndOfWait(std::uint8_t code)
{
    return code == kRadioReplyA1 || code == kRadioReplyAck || code == kRadioReplyA8 || code == kRadioReplyA9;
}

}  // namespace TolvarRT::dc77
