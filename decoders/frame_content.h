// What a correction frame says about itself: its station, the GNSS time of
// its epoch, how many satellites it holds, and the base's station records.
// Read from the frame's bytes once, into fixed memory: nothing is allocated
// per frame.
#pragma once

#include <cstdint>

namespace TolvarRT {

enum class Gnss : std::uint8_t { None, GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC };
constexpr unsigned kGnssCount = 8;  // with None

// "GPS", "GLONASS", "Galileo", "SBAS", "QZSS", "BeiDou", "NavIC"; "" for None.
const char* GnssName(Gnss gnss);

// How the epoch field counts: each leaves open a week, a day, an hour or four
// minutes, resolved against the host's time by whoever reads it.
enum class EpochScale : std::uint8_t {
    None,
    GpsWeekMs,       // GPS time of week, ms (GPS, Galileo, SBAS, QZSS, NavIC)
    BeiDouWeekMs,    // BDT time of week, ms
    GlonassDayMs,    // ms of the Moscow day (UTC + 3 h); dayOfWeek when known
    GpsHourMs,       // RTCM v2 modified Z-count, as ms of the GPS hour
    GpsFourMinuteMs  // CMR epoch time, ms modulo 240 s of GPS time
};

// A string field of a station record, cut at 31 characters as the format
// allows; the count the frame gave is kept for the truncation test.
struct sRecordText {
    char text[32] = {};
    std::uint8_t length = 0;
};

struct sFrameContent {
    bool hasStation = false;
    std::uint16_t stationId = 0;

    // Observation frames: the epoch and what it holds.
    Gnss gnss = Gnss::None;
    EpochScale epochScale = EpochScale::None;
    std::uint32_t epochMs = 0;
    std::uint8_t dayOfWeek = 7;  // GLONASS MSM: 0 = Sunday .. 6; 7 = not given
    // MSM: more messages of this epoch follow (the multiple-message bit).
    // 1001-1004, 1009-1012: the synchronous GNSS flag. -1: no such bit.
    std::int8_t multiple = -1;
    std::int8_t sync = -1;
    std::uint8_t satellites = 0;
    std::uint8_t signalTypes = 0;  // MSM: signals in the signal mask (not "signals": Qt defines it)
    std::uint16_t cells = 0;       // MSM: cells set in the cell mask

    // RTCM v2: the header's modified Z-count (0.6 s units) and sequence.
    bool hasZcount = false;
    std::uint16_t zcount = 0;
    std::uint8_t sequence = 0;

    // 1005/1006: the antenna reference point, ECEF metres; 1006's height.
    bool hasReferencePoint = false;
    double x = 0.0, y = 0.0, z = 0.0;
    bool hasHeight = false;
    double height = 0.0;

    // 1007, 1008, 1033: the antenna and receiver descriptors.
    bool hasDescriptor = false;
    bool hasReceiver = false;  // 1033 only
    sRecordText antenna;       // desc
    std::uint8_t setupId = 0;
    bool hasAntennaSerial = false;  // 1008, 1033
    sRecordText antennaSerial;      // serial
    sRecordText receiver;
    sRecordText firmware;
    sRecordText receiverSerial;

    bool HasEpoch() const { return epochScale != EpochScale::None; }
};

// Each fills content from one whole frame as the decoders publish it (RTCM v3:
// the payload without header and CRC; RTCM v2: three data bytes per word from
// the first header word on, wordCount the data words after the two header
// words, as IIncommingRTCMPipe's length; CMR: the CMR frame's bytes after the
// packet header, type as IIncommingCMRPipe gives it, 5 for CMR+) and returns
// false, leaving content empty, when the frame is too short for the fields
// its type promises. Unknown types give true with only what every frame of
// the format carries.
bool ReadRTCM3Content(const std::uint8_t* payload, std::uint16_t length, sFrameContent& content);
bool ReadRTCM2Content(const std::uint8_t* words, std::uint16_t wordCount, sFrameContent& content);
bool ReadCMRContent(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, sFrameContent& content);

}  // namespace TolvarRT
