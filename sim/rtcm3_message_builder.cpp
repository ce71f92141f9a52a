// The fake RTCM v3 messages: bit packing of the MSM header, satellite and
// signal fields, the station messages, the epoch fields and the framing.
#include "sim/rtcm3_message_builder.h"

#include <algorithm>
#include <cmath>

#include "core/gnss_time.h"

namespace TolvarRT {
namespace {

constexpr unsigned kMsmHeaderBits = 169;  // without the cell mask
constexpr unsigned kMaxPayload = CRTCM3Parser::kMaxPayload;

// Which satellites a sky of n holds: the first n of each list, which
// starts with satellites one sees together and goes on with the rest.
constexpr std::uint8_t kGpsOrder[] = {2, 5, 6,  11, 12, 13, 15, 18, 20, 24, 25, 29, 1,  3,  4,  7,
                                      8, 9, 10, 14, 16, 17, 19, 21, 22, 23, 26, 27, 28, 30, 31, 32};
constexpr std::uint8_t kGlonassOrder[] = {1,  2,  3,  8,  9,  10, 17, 18, 4,  5,  6,  7,
                                          11, 12, 13, 14, 15, 16, 19, 20, 21, 22, 23, 24};
constexpr std::uint8_t kGalileoOrder[] = {1, 4, 9,  10, 11, 12, 19, 24, 26, 31, 33, 36, 2,  3,  5,  6,
                                          7, 8, 13, 14, 15, 21, 25, 27, 30, 34, 18, 22, 29, 16, 17, 20};
constexpr std::uint8_t kBeiDouOrder[] = {6,  9,  11, 12, 14, 16, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
                                         29, 30, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45};
// GLONASS frequency channel of slots 1..24, as the constellation flies them.
constexpr std::int8_t kGlonassChannel[24] = {1,  -4, 5, 6,  1, -4, 5, 6, -2, -7, 0, -1,
                                             -2, -7, 0, -1, 4, -3, 3, 2, 4,  -3, 3, 2};

// GPS L1C + L2W, GLONASS G1C + G2C, Galileo E1C + E5bQ, BeiDou B1I + B2I.
constexpr sSimGnssInfo kGnss[kSimGnssCount] = {
    {'G', "GPS", 1070, 32, {2, 10}},
    {'R', "GLONASS", 1080, 24, {2, 8}},
    {'E', "Galileo", 1090, 32, {2, 15}},
    {'C', "BeiDou", 1120, 32, {2, 14}},
};
constexpr const std::uint8_t* kOrders[kSimGnssCount] = {kGpsOrder, kGlonassOrder, kGalileoOrder, kBeiDouOrder};

constexpr unsigned kRates[] = {1, 2, 5, 10, 20};

// Big-endian bit packing into a payload buffer that starts zeroed.
class CBitWriter {
public:
    explicit CBitWriter(std::uint8_t* buffer) : data(buffer) {}

    void Put(std::uint64_t value, unsigned bits)
    {
        for (unsigned i = bits; i-- > 0; ++position)
            if ((value >> i) & 1u)
                data[position / 8] |= std::uint8_t(0x80u >> (position % 8));
    }
    // Two's complement in bits.
    void PutSigned(std::int64_t value, unsigned bits) { Put(std::uint64_t(value) & ((1ULL << bits) - 1), bits); }
    void PutText(const char* text)
    {
        const std::size_t length = std::char_traits<char>::length(text);
        Put(length, 8);
        for (std::size_t i = 0; i < length; ++i)
            Put(std::uint8_t(text[i]), 8);
    }
    unsigned Bytes() const { return (position + 7) / 8; }

private:
    std::uint8_t* data;
    unsigned position = 0;
};

}  // namespace

const sSimGnssInfo& SimGnssInfo(unsigned gnss)
{
    return kGnss[std::min(gnss, kSimGnssCount - 1)];
}

bool CheckRTCM3SimSettings(const sRTCM3SimSettings& settings, std::string& error)
{
    if (settings.msm != 4 && settings.msm != 7) {
        error = "MSM " + std::to_string(settings.msm) + ": expected 4 or 7";
        return false;
    }
    if (std::find(std::begin(kRates), std::end(kRates), settings.epochsPerSecond) == std::end(kRates)) {
        error = "rate " + std::to_string(settings.epochsPerSecond) + ": expected 1, 2, 5, 10 or 20 epochs a second";
        return false;
    }
    if (settings.stationId > 4095) {
        error = "station " + std::to_string(settings.stationId) + ": expected 0..4095";
        return false;
    }
    unsigned total = 0;
    for (unsigned gnss = 0; gnss < kSimGnssCount; ++gnss) {
        if (settings.satellites[gnss] > kGnss[gnss].maxSatellites) {
            error = std::string(kGnss[gnss].name) + ": at most " + std::to_string(kGnss[gnss].maxSatellites) +
                    " satellites";
            return false;
        }
        total += settings.satellites[gnss];
    }
    if (total == 0) {
        error = "no satellites chosen";
        return false;
    }
    return true;
}

bool ParseSimSatellites(const std::string& text, std::array<unsigned, kSimGnssCount>& counts, std::string& error)
{
    std::array<unsigned, kSimGnssCount> parsed{};
    std::array<bool, kSimGnssCount> seen{};
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string part = text.substr(at, comma - at);
        const auto info = std::find_if(std::begin(kGnss), std::end(kGnss), [&](const sSimGnssInfo& gnss) {
            return !part.empty() && (part[0] == gnss.letter || part[0] == gnss.letter + ('a' - 'A'));
        });
        const std::string digits = part.empty() ? "" : part.substr(1);
        if (info == std::end(kGnss) || digits.empty() || digits.size() > 2 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            error = "\"" + part + "\": expected a GNSS letter (G, R, E, C) and a satellite count, e.g. G10,R7,E8,C8";
            return false;
        }
        const auto gnss = std::size_t(info - std::begin(kGnss));
        if (seen[gnss]) {
            error = "\"" + text + "\": " + info->name + " given twice";
            return false;
        }
        seen[gnss] = true;
        parsed[gnss] = unsigned(std::stoul(digits));
        at = comma + 1;
    }
    counts = parsed;
    return true;
}

std::string SimSatellitesText(const std::array<unsigned, kSimGnssCount>& counts)
{
    std::string text;
    for (unsigned gnss = 0; gnss < kSimGnssCount; ++gnss) {
        if (counts[gnss] == 0)
            continue;
        if (!text.empty())
            text += ',';
        text += kGnss[gnss].letter + std::to_string(counts[gnss]);
    }
    return text;
}

sMsmEpochTimes MsmEpochTimes(double unixSeconds, int gpsMinusUtc)
{
    // One rounding: every field then counts the same millisecond.
    const double unixMs = std::round(unixSeconds * 1000.0);
    const double seconds = unixMs / 1000.0;
    const auto wrap = [](double ms, std::int64_t period) {
        const std::int64_t rounded = std::llround(ms) % period;
        return rounded < 0 ? rounded + period : rounded;
    };
    sMsmEpochTimes times;
    times.gpsWeekMs = std::uint32_t(wrap(GpsWeekMsAt(seconds, gpsMinusUtc), kWeekMs));
    times.beidouWeekMs = std::uint32_t(wrap(BeiDouWeekMsAt(seconds, gpsMinusUtc), kWeekMs));
    const std::int64_t glonassWeekMs = wrap(GlonassWeekMsAt(seconds), kWeekMs);
    times.glonassDay = std::uint8_t(glonassWeekMs / kDayMs);
    times.glonassDayMs = std::uint32_t(glonassWeekMs % kDayMs);
    return times;
}

unsigned MsmPayloadBytes(unsigned msm, unsigned satellites, unsigned signalCount)
{
    const unsigned cells = satellites * signalCount;
    const unsigned satelliteBits = msm == 7 ? 36 : 18;
    const unsigned cellBits = msm == 7 ? 80 : 48;
    return (kMsmHeaderBits + cells + satellites * satelliteBits + cells * cellBits + 7) / 8;
}

CRTCM3MessageBuilder::CRTCM3MessageBuilder(const sRTCM3SimSettings& chosen, std::uint32_t seed)
    : settings(chosen), random(seed)
{
}

void CRTCM3MessageBuilder::Frame(unsigned type, const std::uint8_t* payload, std::size_t length, sRTCM3SimFrame& frame)
{
    length = std::min<std::size_t>(length, kMaxPayload);
    frame.type = type;
    frame.data[0] = CRTCM3Parser::kPreamble;
    frame.data[1] = std::uint8_t(length >> 8);  // the 6 reserved bits stay 0
    frame.data[2] = std::uint8_t(length);
    std::copy(payload, payload + length, frame.data.begin() + CRTCM3Parser::kHeaderSize);
    const std::size_t body = CRTCM3Parser::kHeaderSize + length;
    const std::uint32_t crc = Crc24q(frame.data.data(), body);
    frame.data[body] = std::uint8_t(crc >> 16);
    frame.data[body + 1] = std::uint8_t(crc >> 8);
    frame.data[body + 2] = std::uint8_t(crc);
    frame.length = std::uint16_t(body + CRTCM3Parser::kCrcSize);
}

unsigned CRTCM3MessageBuilder::SatelliteIds(unsigned gnss, std::array<std::uint8_t, kSimMaxSatellites>& ids) const
{
    const unsigned count = std::min(settings.satellites[std::min(gnss, kSimGnssCount - 1)], kSimMaxSatellites);
    const std::uint8_t* order = kOrders[std::min(gnss, kSimGnssCount - 1)];
    std::copy(order, order + count, ids.begin());
    std::sort(ids.begin(), ids.begin() + count);
    return count;
}

void CRTCM3MessageBuilder::BuildMsm(unsigned gnss, const sMsmEpochTimes& times, bool moreFollow, sRTCM3SimFrame& frame)
{
    const sSimGnssInfo& info = SimGnssInfo(gnss);
    const bool msm7 = settings.msm == 7;
    std::array<std::uint8_t, kSimMaxSatellites> ids{};
    const unsigned satellites = SatelliteIds(gnss, ids);
    const unsigned cells = satellites * kSimSignals;
    const unsigned type = info.msmBase + (msm7 ? 7 : 4);

    std::uint8_t payload[kMaxPayload] = {};
    CBitWriter bits(payload);
    bits.Put(type, 12);
    bits.Put(settings.stationId, 12);
    switch (gnss) {
    case kSimGLONASS:
        bits.Put(times.glonassDay, 3);
        bits.Put(times.glonassDayMs, 27);
        break;
    case kSimBeiDou: bits.Put(times.beidouWeekMs, 30); break;
    default: bits.Put(times.gpsWeekMs, 30); break;
    }
    bits.Put(moreFollow ? 1 : 0, 1);
    bits.Put(0, 3);  // IODS
    bits.Put(0, 7);  // reserved
    bits.Put(0, 2);  // clock steering: none
    bits.Put(0, 2);  // internal clock
    bits.Put(0, 1);  // no divergence-free smoothing
    bits.Put(0, 3);  // smoothing interval: none
    std::uint64_t satelliteMask = 0;
    for (unsigned i = 0; i < satellites; ++i)
        satelliteMask |= 1ULL << (64 - ids[i]);
    bits.Put(satelliteMask, 64);
    std::uint32_t signalMask = 0;
    for (const std::uint8_t id : info.signalIds)
        signalMask |= 1u << (32 - id);
    bits.Put(signalMask, 32);
    for (unsigned i = 0; i < cells; ++i)
        bits.Put(1, 1);

    // Satellite data, field by field: the rough range of a satellite 20,000
    // to 25,000 km away, in whole ms and its 1/1024 ms remainder.
    std::uniform_int_distribution<int> wholeMs(67, 84);
    std::uniform_int_distribution<int> fraction(0, 1023);
    for (unsigned i = 0; i < satellites; ++i)
        bits.Put(unsigned(wholeMs(random)), 8);
    if (msm7)
        for (unsigned i = 0; i < satellites; ++i)
            bits.Put(gnss == kSimGLONASS ? unsigned(kGlonassChannel[ids[i] - 1] + 7) : 0u, 4);
    for (unsigned i = 0; i < satellites; ++i)
        bits.Put(unsigned(fraction(random)), 10);
    if (msm7) {
        std::uniform_int_distribution<int> rate(-800, 800);  // m/s
        for (unsigned i = 0; i < satellites; ++i)
            bits.PutSigned(rate(random), 14);
    }

    // Signal data, field by field over every cell; never the fields'
    // "invalid" values (the most negative number, a CNR of 0).
    std::uniform_int_distribution<int> cnr(36, 50);  // dB-Hz
    if (msm7) {
        std::uniform_int_distribution<int> finePseudorange(-60000, 60000);
        std::uniform_int_distribution<int> finePhase(-800000, 800000);
        std::uniform_int_distribution<int> fineRate(-2000, 2000);
        for (unsigned i = 0; i < cells; ++i)
            bits.PutSigned(finePseudorange(random), 20);
        for (unsigned i = 0; i < cells; ++i)
            bits.PutSigned(finePhase(random), 24);
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(600, 10);  // locked for a good while
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(0, 1);
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(unsigned(cnr(random)) * 16, 10);
        for (unsigned i = 0; i < cells; ++i)
            bits.PutSigned(fineRate(random), 15);
    } else {
        std::uniform_int_distribution<int> finePseudorange(-2000, 2000);
        std::uniform_int_distribution<int> finePhase(-200000, 200000);
        for (unsigned i = 0; i < cells; ++i)
            bits.PutSigned(finePseudorange(random), 15);
        for (unsigned i = 0; i < cells; ++i)
            bits.PutSigned(finePhase(random), 22);
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(12, 4);
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(0, 1);
        for (unsigned i = 0; i < cells; ++i)
            bits.Put(unsigned(cnr(random)), 6);
    }
    Frame(type, payload, bits.Bytes(), frame);
}

void CRTCM3MessageBuilder::Build1005(sRTCM3SimFrame& frame) const
{
    std::uint8_t payload[19] = {};
    CBitWriter bits(payload);
    bits.Put(1005, 12);
    bits.Put(settings.stationId, 12);
    bits.Put(0, 6);  // ITRF realisation year
    bits.Put(settings.satellites[kSimGPS] != 0 ? 1 : 0, 1);
    bits.Put(settings.satellites[kSimGLONASS] != 0 ? 1 : 0, 1);
    bits.Put(settings.satellites[kSimGalileo] != 0 ? 1 : 0, 1);
    bits.Put(0, 1);  // a physical station
    bits.PutSigned(std::llround(SimStation::kX * 10000.0), 38);
    bits.Put(0, 1);  // single receiver oscillator: unknown
    bits.Put(0, 1);
    bits.PutSigned(std::llround(SimStation::kY * 10000.0), 38);
    bits.Put(0, 2);  // quarter-cycle indicator: corrections status unknown
    bits.PutSigned(std::llround(SimStation::kZ * 10000.0), 38);
    Frame(1005, payload, bits.Bytes(), frame);
}

void CRTCM3MessageBuilder::Build1033(sRTCM3SimFrame& frame) const
{
    std::uint8_t payload[kMaxPayload] = {};
    CBitWriter bits(payload);
    bits.Put(1033, 12);
    bits.Put(settings.stationId, 12);
    bits.PutText(SimStation::kAntenna);
    bits.Put(0, 8);  // antenna setup id
    bits.PutText(SimStation::kAntennaSerial);
    bits.PutText(SimStation::kReceiver);
    bits.PutText(SimStation::kFirmware);
    bits.PutText(SimStation::kReceiverSerial);
    Frame(1033, payload, bits.Bytes(), frame);
}

void CRTCM3MessageBuilder::BuildEpoch(double unixSeconds, int gpsMinusUtc, sRTCM3SimEpoch& epoch)
{
    const sMsmEpochTimes times = MsmEpochTimes(unixSeconds, gpsMinusUtc);
    epoch.count = 0;
    // The first epoch describes the station at once: a rover that starts
    // with the generator need not wait half a minute for it.
    const bool first = !describedStation;
    describedStation = true;
    const bool wholeSecond = times.gpsWeekMs % 1000 == 0;
    const std::uint32_t second = times.gpsWeekMs / 1000;
    const auto due = [&](unsigned period) { return first || (period != 0 && wholeSecond && second % period == 0); };
    if (due(settings.stationEverySeconds))
        Build1005(epoch.frames[epoch.count++]);
    if (due(settings.descriptionEverySeconds))
        Build1033(epoch.frames[epoch.count++]);
    unsigned last = kSimGnssCount;
    for (unsigned gnss = 0; gnss < kSimGnssCount; ++gnss)
        if (settings.satellites[gnss] != 0)
            last = gnss;
    for (unsigned gnss = 0; gnss < kSimGnssCount; ++gnss)
        if (settings.satellites[gnss] != 0)
            BuildMsm(gnss, times, gnss != last, epoch.frames[epoch.count++]);
}

}  // namespace TolvarRT
