// The wire format of a data-collector packet: STX, status, type, length, data,
// checksum, ETX; and the packet types with a fixed meaning.
#pragma once

#include <cstdint>

namespace TolvarRT {

enum : std::uint8_t {
    kPacketStx = 0x02,
    kPacketEtx = 0x03,
    kPacketIdentityReply = 0x6E,
    kPacketIdentityRequest = 0x6F,
    kPacketRadioCommand = 0x77,
    kPacketPipeRequest = 0x84,
    kPacketCMR = 0x93,
    kPacketCMRPlus = 0x94,
    kPacketCMRW = 0x98,
    kPacketSendTo = 0xEE,
};
constexpr unsigned kPacketOverhead = 6;  // everything but the data
constexpr unsigned kPacketMaxLength = 255 + kPacketOverhead;

// (status + type + length + data) modulo 256.
std::uint8_t PacketChecksum(std::uint8_t status, std::uint8_t type, const std::uint8_t* data, std::uint8_t length);

}  // namespace TolvarRT
