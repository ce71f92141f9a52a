// Reads what a correction frame says about itself from its bytes: the fields
// of the RTCM 3 messages that carry a station, an epoch or a station record,
// the RTCM 2 header, and the CMR header.
#include "decoders/frame_content.h"

#include <bit>

#include "core/bit_reader.h"
#include "decoders/rtcm_input_handler.h"

namespace TolvarRT {

namespace {

// Legacy observations: the GNSS, how the epoch counts, its width, and the
// bits each satellite takes in the body.
struct sLegacyLayout {
    Gnss gnss;
    EpochScale scale;
    unsigned epochBits;
    unsigned satelliteBits;
};

// 1001-1004 (GPS L1, L1 extended, L1/L2, L1/L2 extended) and 1009-1012
// (the same for GLONASS), in message-number order.
constexpr sLegacyLayout kLegacyLayouts[8] = {
    {Gnss::GPS, EpochScale::GpsWeekMs, 30, 58},         {Gnss::GPS, EpochScale::GpsWeekMs, 30, 74},
    {Gnss::GPS, EpochScale::GpsWeekMs, 30, 101},        {Gnss::GPS, EpochScale::GpsWeekMs, 30, 125},
    {Gnss::GLONASS, EpochScale::GlonassDayMs, 27, 64},  {Gnss::GLONASS, EpochScale::GlonassDayMs, 27, 79},
    {Gnss::GLONASS, EpochScale::GlonassDayMs, 27, 107}, {Gnss::GLONASS, EpochScale::GlonassDayMs, 27, 130},
};

// MSM1..MSM7: bits per satellite and per cell in the body after the masks.
constexpr unsigned kMsmSatelliteBits[7] = {10, 10, 10, 18, 36, 18, 36};
constexpr unsigned kMsmCellBits[7] = {15, 27, 42, 48, 63, 65, 80};

// The GNSS of each block of ten MSM numbers from 1071 on.
constexpr Gnss kMsmGnss[7] = {Gnss::GPS,  Gnss::GLONASS, Gnss::Galileo, Gnss::SBAS,
                              Gnss::QZSS, Gnss::BeiDou,  Gnss::NavIC};

// A station record's text: a count byte, then that many characters, of which
// the first 31 are kept. False when the characters run past the frame.
bool ReadText(CBitReader& bits, sRecordText& text)
{
    const auto count = unsigned(bits.Read(8));
    text.length = std::uint8_t(count);
    unsigned kept = 0;
    for (unsigned i = 0; i < count && bits.Ok(); ++i) {
        const auto c = char(bits.Read(8));
        if (kept < sizeof text.text - 1)
            text.text[kept++] = c;
    }
    text.text[kept] = '\0';
    return bits.Ok();
}

bool ReadLegacy(CBitReader& bits, const sLegacyLayout& layout, sFrameContent& content)
{
    content.stationId = std::uint16_t(bits.Read(12));
    content.epochMs = std::uint32_t(bits.Read(layout.epochBits));
    content.sync = std::int8_t(bits.Read(1));
    content.satellites = std::uint8_t(bits.Read(5));
    // Smoothing indicator and interval, then the satellites.
    bits.Skip(4);
    if (!bits.Ok() || bits.Remaining() < std::size_t(content.satellites) * layout.satelliteBits)
        return false;
    content.hasStation = true;
    content.gnss = layout.gnss;
    content.epochScale = layout.scale;
    return true;
}

bool ReadMsm(CBitReader& bits, Gnss gnss, unsigned msm, sFrameContent& content)
{
    content.stationId = std::uint16_t(bits.Read(12));
    if (gnss == Gnss::GLONASS) {
        content.dayOfWeek = std::uint8_t(bits.Read(3));
        content.epochMs = std::uint32_t(bits.Read(27));
    } else {
        content.epochMs = std::uint32_t(bits.Read(30));
    }
    content.multiple = std::int8_t(bits.Read(1));
    // Issue of data station, reserved, clock steering, external clock,
    // smoothing indicator and interval.
    bits.Skip(3 + 7 + 2 + 2 + 1 + 3);
    const std::uint64_t satelliteMask = bits.Read(64);
    const auto signalMask = std::uint32_t(bits.Read(32));
    const auto satellites = unsigned(std::popcount(satelliteMask));
    const auto signalTypes = unsigned(std::popcount(signalMask));
    // The cell mask has a bit per satellite and signal, 64 at most.
    if (!bits.Ok() || satellites * signalTypes > 64)
        return false;
    const std::uint64_t cellMask = bits.Read(satellites * signalTypes);
    const auto cells = unsigned(std::popcount(cellMask));
    if (!bits.Ok() || bits.Remaining() < std::size_t(satellites) * kMsmSatelliteBits[msm - 1] +
                                             std::size_t(cells) * kMsmCellBits[msm - 1])
        return false;
    content.hasStation = true;
    content.gnss = gnss;
    content.epochScale = gnss == Gnss::BeiDou    ? EpochScale::BeiDouWeekMs
                         : gnss == Gnss::GLONASS ? EpochScale::GlonassDayMs
                                                 : EpochScale::GpsWeekMs;
    content.satellites = std::uint8_t(satellites);
    content.signalTypes = std::uint8_t(signalTypes);
    content.cells = std::uint16_t(cells);
    return true;
}

bool ReadReferencePoint(CBitReader& bits, bool withHeight, sFrameContent& content)
{
    content.stationId = std::uint16_t(bits.Read(12));
    // ITRF year, the GPS, GLONASS and Galileo indicators, the reference
    // station indicator; each coordinate in 0.1 mm, with a flag or two
    // between them.
    bits.Skip(6 + 4);
    const std::int64_t x = bits.ReadSigned(38);
    bits.Skip(2);
    const std::int64_t y = bits.ReadSigned(38);
    bits.Skip(2);
    const std::int64_t z = bits.ReadSigned(38);
    const std::uint64_t height = withHeight ? bits.Read(16) : 0;
    if (!bits.Ok())
        return false;
    // Divided, not multiplied: the quotient is the double nearest the
    // decimal the frame sent.
    content.hasStation = true;
    content.hasReferencePoint = true;
    content.x = double(x) / 10000.0;
    content.y = double(y) / 10000.0;
    content.z = double(z) / 10000.0;
    content.hasHeight = withHeight;
    content.height = double(height) / 10000.0;
    return true;
}

bool ReadDescriptor(CBitReader& bits, unsigned type, sFrameContent& content)
{
    content.stationId = std::uint16_t(bits.Read(12));
    if (!ReadText(bits, content.antenna))
        return false;
    content.setupId = std::uint8_t(bits.Read(8));
    if (type != 1007 && !ReadText(bits, content.antennaSerial))
        return false;
    if (type == 1033 && !(ReadText(bits, content.receiver) && ReadText(bits, content.firmware) &&
                          ReadText(bits, content.receiverSerial)))
        return false;
    if (!bits.Ok())
        return false;
    content.hasStation = true;
    content.hasDescriptor = true;
    content.hasAntennaSerial = type != 1007;
    content.hasReceiver = type == 1033;
    return true;
}

// Messages whose station id follows the message number and which are read
// for nothing else: system parameters, text, GLONASS code-phase biases.
bool CarriesStationOnly(unsigned type)
{
    return type == 1013 || type == 1029 || type == 1230;
}

// CMR message types in the 0x93 packet's header.
constexpr unsigned kCmrGpsObservations = 0;
constexpr unsigned kCmrGlonassObservations = 3;
// The data-collector CMR handler publishes 0x94 (CMR+) packets as type 5.
constexpr unsigned kCmrPlus = 5;
constexpr unsigned kCmrHeaderBytes = 6;
constexpr unsigned kCmrPlusHeaderBytes = 3;
constexpr unsigned kCmrSatelliteBytes = 8;

}  // namespace

const char* GnssName(Gnss gnss)
{
    switch (gnss) {
    case Gnss::GPS: return "GPS";
    case Gnss::GLONASS: return "GLONASS";
    case Gnss::Galileo: return "Galileo";
    case Gnss::SBAS: return "SBAS";
    case Gnss::QZSS: return "QZSS";
    case Gnss::BeiDou: return "BeiDou";
    case Gnss::NavIC: return "NavIC";
    case Gnss::None: break;
    }
    return "";
}

bool ReadRTCM3Content(const std::uint8_t* payload, std::uint16_t length, sFrameContent& content)
{
    content = sFrameContent{};
    CBitReader bits(payload, length);
    const auto type = unsigned(bits.Read(12));
    if (!bits.Ok())
        return false;
    bool read = true;
    if (type >= 1001 && type <= 1012 && type != 1005 && type != 1006 && type != 1007 && type != 1008)
        read = ReadLegacy(bits, kLegacyLayouts[type <= 1004 ? type - 1001 : type - 1009 + 4], content);
    else if (type >= 1071 && type <= 1137 && type % 10 >= 1 && type % 10 <= 7)
        read = ReadMsm(bits, kMsmGnss[(type - 1071) / 10], type % 10, content);
    else if (type == 1005 || type == 1006)
        read = ReadReferencePoint(bits, type == 1006, content);
    else if (type == 1007 || type == 1008 || type == 1033)
        read = ReadDescriptor(bits, type, content);
    else if (CarriesStationOnly(type)) {
        content.stationId = std::uint16_t(bits.Read(12));
        content.hasStation = read = bits.Ok();
    }
    if (!read)
        content = sFrameContent{};
    return read;
}

bool ReadRTCM2Content(const std::uint8_t* words, std::uint16_t wordCount, sFrameContent& content)
{
    content = sFrameContent{};
    sRTCMHeader header;
    // The header announces its data words; fewer than that is a cut frame.
    if (!CRTCMInputHandler::ParseHeader(words, header) || header.dataWords > wordCount)
        return false;
    content.hasStation = true;
    content.stationId = header.stationId;
    content.hasZcount = true;
    content.zcount = header.zCount;
    content.sequence = header.sequence;
    content.epochScale = EpochScale::GpsHourMs;
    content.epochMs = std::uint32_t(header.zCount) * 600u;
    return true;
}

bool ReadCMRContent(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, sFrameContent& content)
{
    content = sFrameContent{};
    if (type == kCmrPlus) {
        // Station, page and page count before each page of the station's
        // records; the records themselves run across the pages.
        if (length < kCmrPlusHeaderBytes)
            return false;
        content.hasStation = true;
        content.stationId = data[0];
        return true;
    }
    // Version and station; type and satellites; the epoch time (ms modulo
    // 240 s), clock validity and clock offset.
    if (length < kCmrHeaderBytes)
        return false;
    CBitReader bits(data, length);
    bits.Skip(3);
    content.hasStation = true;
    content.stationId = std::uint16_t(bits.Read(5));
    bits.Skip(3);
    const auto satellites = std::uint8_t(bits.Read(5));
    const auto epochMs = std::uint32_t(bits.Read(18));
    // Type 0 holds GPS observations, stamped in GPS time. Type 3's GLONASS
    // observations are stamped in UTC, and type 4 counts its time modulo
    // 4 s: neither is GPS time modulo four minutes, so only type 0 gives an
    // epoch; the reference records (1, 2) are no observation epoch. Each
    // satellite of an observation frame takes 8 bytes at least (L1 alone).
    const bool observations = type == kCmrGpsObservations || type == kCmrGlonassObservations;
    if (observations && length < kCmrHeaderBytes + kCmrSatelliteBytes * unsigned(satellites)) {
        content = sFrameContent{};
        return false;
    }
    if (type == kCmrGpsObservations) {
        content.gnss = Gnss::GPS;
        content.epochScale = EpochScale::GpsFourMinuteMs;
        content.epochMs = epochMs;
        content.satellites = satellites;
    } else if (type == kCmrGlonassObservations) {
        content.gnss = Gnss::GLONASS;
        content.satellites = satellites;
    }
    return true;
}

}  // namespace TolvarRT
