// The frames of the fake RTCM v3 generator: one epoch of MSM4 or MSM7
// observations per chosen GNSS, the station's 1005 and 1033, each in its
// transport frame (0xD3, 6 zero bits, 10-bit length, payload, CRC-24Q). The
// masks, cell counts and field lengths are those a receiver emits; the
// observation values are random but plausible.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "decoders/rtcm3_parser.h"

namespace TolvarRT {

// The GNSS the generator offers, in the order an epoch sends them.
enum eSimGnss : unsigned { kSimGPS, kSimGLONASS, kSimGalileo, kSimBeiDou, kSimGnssCount };

// The longest satellite list: the cell mask holds 64 cells, two signals each.
constexpr unsigned kSimMaxSatellites = 32;
constexpr unsigned kSimSignals = 2;

struct sRTCM3SimSettings {
    unsigned msm = 4;  // 4 or 7
    unsigned epochsPerSecond = 1;
    std::uint16_t stationId = 2001;  // 0..4095
    std::array<unsigned, kSimGnssCount> satellites = {10, 7, 8, 8};
    unsigned stationEverySeconds = 10;      // 1005
    unsigned descriptionEverySeconds = 30;  // 1033
};

// What each GNSS is: its letter in "G10,R7,E8,C8", its name, its MSM numbers
// (base + 4 or 7), its satellites (count up to), and the two signals.
struct sSimGnssInfo {
    char letter;
    const char* name;
    unsigned msmBase;
    unsigned maxSatellites;
    std::array<std::uint8_t, kSimSignals> signalIds;  // 1 is the mask's first bit
};
const sSimGnssInfo& SimGnssInfo(unsigned gnss);

// False, with a reason, unless msm is 4 or 7, the rate one of 1, 2, 5, 10,
// 20 epochs a second, the station id fits 12 bits, every count is within its
// GNSS's satellites, and at least one satellite is chosen.
bool CheckRTCM3SimSettings(const sRTCM3SimSettings& settings, std::string& error);
// "G10,R7,E8,C8" (letters G, R, E, C; a GNSS left out sends nothing) into
// counts; false with a reason. The range of each count is checked by
// CheckRTCM3SimSettings.
bool ParseSimSatellites(const std::string& text, std::array<unsigned, kSimGnssCount>& counts, std::string& error);
std::string SimSatellitesText(const std::array<unsigned, kSimGnssCount>& counts);

// The epoch fields of every GNSS for one moment.
struct sMsmEpochTimes {
    std::uint32_t gpsWeekMs = 0;     // GPS and Galileo
    std::uint32_t beidouWeekMs = 0;  // BDT = GPS - 14 s
    std::uint8_t glonassDay = 0;     // 0 Sunday .. 6, of the Moscow week
    std::uint32_t glonassDayMs = 0;  // ms of the Moscow day (UTC + 3 h)
};
// unixSeconds is rounded to the millisecond first.
sMsmEpochTimes MsmEpochTimes(double unixSeconds, int gpsMinusUtc);

// The bit lengths an MSM of n satellites and s signals with a full cell mask
// has: header 169 + n*s cell bits, satellites 18 (MSM4) or 36 (MSM7) each,
// cells 48 or 80 each; the payload is the bits rounded up to whole bytes.
unsigned MsmPayloadBytes(unsigned msm, unsigned satellites, unsigned signalCount);

// One frame as it goes out, and which message it carries.
struct sRTCM3SimFrame {
    unsigned type = 0;
    std::uint16_t length = 0;  // the whole frame, header and CRC included
    std::array<std::uint8_t, CRTCM3Parser::kMaxFrame> data{};

    const std::uint8_t* Payload() const { return data.data() + CRTCM3Parser::kHeaderSize; }
    std::uint16_t PayloadLength() const
    {
        return std::uint16_t(length - CRTCM3Parser::kHeaderSize - CRTCM3Parser::kCrcSize);
    }
};

// Everything one epoch sends: 1005 and 1033 when due, then one MSM per GNSS
// with satellites, the last without the multiple-message bit.
struct sRTCM3SimEpoch {
    static constexpr unsigned kMaxFrames = kSimGnssCount + 2;
    std::array<sRTCM3SimFrame, kMaxFrames> frames;
    unsigned count = 0;
};

// The station the generator describes.
namespace SimStation {
inline constexpr double kX = 3912357.7600;  // ECEF, m
inline constexpr double kY = 350572.7518;
inline constexpr double kZ = 5008286.8430;
inline constexpr const char* kAntenna = "TR-ANT-1        NONE";
inline constexpr const char* kAntennaSerial = "A10042";
inline constexpr const char* kReceiver = "TR-500";
inline constexpr const char* kFirmware = "4.20";
inline constexpr const char* kReceiverSerial = "5120A00417";
}  // namespace SimStation

// Thread rules: not shared; the generator thread owns its builder.
class CRTCM3MessageBuilder {
public:
    explicit CRTCM3MessageBuilder(const sRTCM3SimSettings& settings, std::uint32_t seed = 1);

    // The epoch at unixSeconds (a tick of the rate): the station messages
    // in the first epoch built and whenever the epoch falls on a whole GPS
    // second of the week that is a multiple of their periods, then the MSMs.
    void BuildEpoch(double unixSeconds, int gpsMinusUtc, sRTCM3SimEpoch& epoch);

    // The single messages, each into its transport frame.
    void BuildMsm(unsigned gnss, const sMsmEpochTimes& times, bool moreFollow, sRTCM3SimFrame& frame);
    void Build1005(sRTCM3SimFrame& frame) const;
    void Build1033(sRTCM3SimFrame& frame) const;

    // The satellite ids the mask of a GNSS holds (1-based), ascending.
    unsigned SatelliteIds(unsigned gnss, std::array<std::uint8_t, kSimMaxSatellites>& ids) const;

    const sRTCM3SimSettings& Settings() const { return settings; }

    // Wraps payload bytes in a transport frame (header and CRC-24Q).
    static void Frame(unsigned type, const std::uint8_t* payload, std::size_t length, sRTCM3SimFrame& frame);

private:
    const sRTCM3SimSettings settings;
    std::mt19937 random;
    bool describedStation = false;
};

}  // namespace TolvarRT
