// The position record that travels with GGA and GGK sentences on the NMEA
// pipe, and the sentence type codes under which the statistics file them.
#pragma once

#include <cstdint>

namespace TolvarRT {

// The type argument of OnNMEASentence. Codes 0..4 come from GGK, 10..15 from
// GGA (by fix quality), 31..33 from the sentences that carry no position.
enum NMEASentenceType : int {
    kNMEAGGKNoPos = 0,
    kNMEAGGKAuto = 1,
    kNMEAGGKFloat = 2,
    kNMEAGGKFix = 3,
    kNMEAGGKDGPS = 4,
    kNMEAGGANoPos = 10,
    kNMEAGGAAuto = 11,
    kNMEAGGAFloat = 12,
    kNMEAGGAFix = 13,
    kNMEAGGADGPS = 14,
    kNMEAGGAOther = 15,
    kNMEAGSV = 31,
    kNMEAGST = 32,
    kNMEAZDA = 33,
};

// The statistics name of a sentence type code, or null for a code that has
// none. GN (multi-constellation) sentences share the GP names.
constexpr const char* NMEASentenceName(unsigned type)
{
    switch (type) {
    case kNMEAGGKNoPos: return "NMEA GGK No Pos";
    case kNMEAGGKAuto: return "NMEA GGK Auto";
    case kNMEAGGKFloat: return "NMEA GGK Float";
    case kNMEAGGKFix: return "NMEA GGK Fix";
    case kNMEAGGKDGPS: return "NMEA GGK DGPS";
    case kNMEAGGANoPos: return "NMEA GPGGA No Pos";
    case kNMEAGGAAuto: return "NMEA GPGGA Auto";
    case kNMEAGGAFloat: return "NMEA GPGGA Float";
    case kNMEAGGAFix: return "NMEA GPGGA Fix";
    case kNMEAGGADGPS: return "NMEA GPGGA DGPS";
    case kNMEAGGAOther: return "NMEA GPGGA Other";
    case kNMEAGSV: return "NMEA GPGSV";
    case kNMEAGST: return "NMEA GPGST";
    case kNMEAZDA: return "NMEA GPZDA";
    default: return nullptr;
    }
}

// Parsed position, built on the decoder's stack and borrowed by subscribers
// for the duration of one call. Every field is zero unless the sentence set it.
struct sNMEAPosition {
    std::int32_t type;    // the sentence type code
    std::uint8_t hour;    // UTC
    std::uint8_t minute;  // UTC
    std::uint8_t reserved[2];
    float seconds;       // UTC, with its fraction (5 and 10 Hz receivers)
    std::uint8_t month;  // GGK only
    std::uint8_t day;    // GGK only
    std::uint16_t year;  // GGK only; two-digit years are 2000 + yy
    double latitude;     // degrees, negative south
    double longitude;    // degrees, negative west
    double height;       // GGA: antenna altitude; GGK: ellipsoid height
    std::uint8_t valid;  // 1 once the fix quality was read, "No Pos" included
};

static_assert(sizeof(sNMEAPosition) == 48, "the position record is 48 bytes");

}  // namespace TolvarRT
