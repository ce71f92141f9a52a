// What the corrections cost the radio: bytes per second of each frame type,
// as data and on the air with their protocol's framing, and the share of the
// radio's bit rate they take.
//
// On the air a byte takes 10 bits, as on the asynchronous serial line that
// feeds a radio modem (start bit, 8 data bits, stop bit): a modem that sends
// the line's bytes as it gets them cannot send more of them per second.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stats/packet_stats.h"

namespace TolvarRT {

constexpr unsigned kAirBitsPerByte = 10;
// Above this share of the radio's bit rate the link is warned of: frames
// queue behind each other and a burst of them may no longer fit a period.
constexpr double kBudgetWarningShare = 0.8;

// The bytes a frame of the class takes, given the length its decoder
// reports to the statistics: with its framing on the air, and its data alone.
// Data-collector packets (CMR, CMR-W, send-to) add 6 bytes around the data;
// RTCM v3 a 3-byte header and a 3-byte CRC around the payload; NMEA the line
// end (the decoder's text stops before it); RTCM v2's reported length is
// the 5 bytes that carry each 30-bit data word 6 bits a byte, 3 of them data,
// and the frame's two header words add 10 more; ATS frames are reported
// whole, start and end bytes included.
std::uint64_t AirBytes(unsigned frameClass, unsigned length);
std::uint64_t PayloadBytes(unsigned frameClass, unsigned length);

struct sBudgetFigures {
    std::uint32_t key = 0;  // 0: the whole correction stream
    std::string name;
    double payloadBytesPerS = 0.0;
    double airBytesPerS = 0.0;
    // The share of linkBps the air bytes take; 0 when no bit rate was given.
    double share = 0.0;
    bool overBudget = false;
};

struct sRadioBudget {
    std::vector<sBudgetFigures> types;
    sBudgetFigures total;
    unsigned linkBps = 0;  // 0: none given
};

// From the records of the side that sent the corrections, over the seconds
// the run lasted.
sRadioBudget MeasureBudget(const std::vector<PacketStats>& records, double seconds, unsigned linkBps);

}  // namespace TolvarRT
