// The fake RTCM v3 messages read back with a bit reader of the test's own:
// MSM lengths from the masks, the multiple-message bit, the epoch fields of
// each GNSS at known host times, the transport frame, the station messages.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "rtcm3_frame_builder.h"
#include "sim/rtcm3_message_builder.h"

namespace TolvarRT {
namespace {

constexpr int kLeap = 18;
// 2024-01-07 00:00:00 UTC, a Sunday.
constexpr double kSunday = 1704585600.0;

// Big-endian fields of a payload.
class BitReader {
public:
    explicit BitReader(const std::uint8_t* payload) : data(payload) {}
    std::uint64_t Get(unsigned bits)
    {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bits; ++i, ++at)
            value = (value << 1) | ((data[at / 8] >> (7 - at % 8)) & 1u);
        return value;
    }
    std::int64_t GetSigned(unsigned bits)
    {
        const std::uint64_t value = Get(bits);
        return (value >> (bits - 1)) != 0 ? std::int64_t(value) - (std::int64_t(1) << bits) : std::int64_t(value);
    }
    std::string GetText()
    {
        std::string text(Get(8), ' ');
        for (char& c : text)
            c = char(Get(8));
        return text;
    }

private:
    const std::uint8_t* data;
    unsigned at = 0;
};

struct sMsmHeader {
    unsigned type, station;
    std::uint32_t epoch;
    unsigned multiple;
    std::uint64_t satelliteMask;
    std::uint32_t signalMask;
    unsigned cellBits;  // cells set
};

sMsmHeader ReadMsmHeader(const sRTCM3SimFrame& frame)
{
    BitReader bits(frame.Payload());
    sMsmHeader header{};
    header.type = unsigned(bits.Get(12));
    header.station = unsigned(bits.Get(12));
    header.epoch = std::uint32_t(bits.Get(30));
    header.multiple = unsigned(bits.Get(1));
    bits.Get(3 + 7 + 2 + 2 + 1 + 3);
    header.satelliteMask = bits.Get(64);
    header.signalMask = std::uint32_t(bits.Get(32));
    const unsigned cells = unsigned(std::popcount(header.satelliteMask) * std::popcount(header.signalMask));
    for (unsigned i = 0; i < cells; ++i)
        header.cellBits += unsigned(bits.Get(1));
    return header;
}

sRTCM3SimSettings Only(unsigned gnss, unsigned count, unsigned msm)
{
    sRTCM3SimSettings settings;
    settings.msm = msm;
    settings.satellites = {};
    settings.satellites[gnss] = count;
    return settings;
}

TEST(RTCM3MessageBuilderTest, MsmLengthsFollowTheMasks)
{
    // Bits: 169 header + n*2 cell mask + n*18|36 satellite + 2n*48|80 signal
    // data, rounded up to bytes, worked out by hand.
    struct sCase {
        unsigned msm, gnss, satellites, payloadBytes, type;
    } const cases[] = {
        {4, kSimGPS, 10, 167, 1074},   {4, kSimGLONASS, 7, 123, 1084},  {4, kSimGalileo, 8, 138, 1094},
        {4, kSimBeiDou, 8, 138, 1124}, {4, kSimGPS, 1, 36, 1074},       {7, kSimGPS, 10, 269, 1077},
        {7, kSimBeiDou, 8, 220, 1127}, {7, kSimGalileo, 32, 814, 1097}, {7, kSimGLONASS, 24, 616, 1087},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE("MSM" + std::to_string(c.msm) + " " + SimGnssInfo(c.gnss).name + " " +
                     std::to_string(c.satellites));
        EXPECT_EQ(MsmPayloadBytes(c.msm, c.satellites, kSimSignals), c.payloadBytes);
        CRTCM3MessageBuilder builder(Only(c.gnss, c.satellites, c.msm));
        sRTCM3SimFrame frame;
        builder.BuildMsm(c.gnss, MsmEpochTimes(kSunday, kLeap), false, frame);
        EXPECT_EQ(frame.type, c.type);
        EXPECT_EQ(frame.PayloadLength(), c.payloadBytes);
        const sMsmHeader header = ReadMsmHeader(frame);
        EXPECT_EQ(header.type, c.type);
        EXPECT_EQ(header.station, 2001u);
        EXPECT_EQ(unsigned(std::popcount(header.satelliteMask)), c.satellites);
        EXPECT_EQ(std::popcount(header.signalMask), 2);
        EXPECT_EQ(header.cellBits, 2 * c.satellites) << "a full cell mask";
    }
}

TEST(RTCM3MessageBuilderTest, TheSignalMasksNameRealSignals)
{
    // GPS 1C+2W, GLONASS 1C+2C, Galileo 1C+7Q, BeiDou 2I+7I.
    const std::uint32_t expected[kSimGnssCount] = {0x40400000u, 0x41000000u, 0x40020000u, 0x40040000u};
    for (unsigned gnss = 0; gnss < kSimGnssCount; ++gnss) {
        CRTCM3MessageBuilder builder(Only(gnss, 5, 4));
        sRTCM3SimFrame frame;
        builder.BuildMsm(gnss, MsmEpochTimes(kSunday, kLeap), false, frame);
        EXPECT_EQ(ReadMsmHeader(frame).signalMask, expected[gnss]) << SimGnssInfo(gnss).name;
    }
}

TEST(RTCM3MessageBuilderTest, EveryMessageButAnEpochsLastSetsTheMultipleMessageBit)
{
    struct sCase {
        std::array<unsigned, kSimGnssCount> satellites;
        std::vector<unsigned> types;
    } const cases[] = {
        {{10, 7, 8, 8}, {1074, 1084, 1094, 1124}},
        {{10, 7, 8, 0}, {1074, 1084, 1094}},
        {{0, 0, 5, 0}, {1094}},
        {{4, 0, 0, 9}, {1074, 1124}},
    };
    for (const sCase& c : cases) {
        sRTCM3SimSettings settings;
        settings.satellites = c.satellites;
        CRTCM3MessageBuilder builder(settings);
        sRTCM3SimEpoch epoch;
        builder.BuildEpoch(kSunday + 1.0, kLeap, epoch);  // not a station second, but the first epoch
        ASSERT_EQ(epoch.count, c.types.size() + 2);
        EXPECT_EQ(epoch.frames[0].type, 1005u);
        EXPECT_EQ(epoch.frames[1].type, 1033u);
        for (std::size_t i = 0; i < c.types.size(); ++i) {
            const sMsmHeader header = ReadMsmHeader(epoch.frames[i + 2]);
            EXPECT_EQ(header.type, c.types[i]);
            EXPECT_EQ(header.multiple, i + 1 < c.types.size() ? 1u : 0u) << header.type;
        }
    }
}

TEST(RTCM3MessageBuilderTest, EpochFieldsAtKnownHostTimes)
{
    struct sCase {
        const char* when;
        double unix;
        std::uint32_t gpsMs, beidouMs;
        unsigned glonassDay;
        std::uint32_t glonassMs;
    } const cases[] = {
        {"Sunday 00:00 UTC", kSunday, 18000, 4000, 0, 10800000},
        {"Saturday 21:00 UTC: Moscow's Sunday begins", kSunday - 3 * 3600, 594018000, 594004000, 0, 0},
        {"Saturday 20:59:59 UTC: Moscow's Saturday ends", kSunday - 3 * 3600 - 1, 594017000, 594003000, 6, 86399000},
        {"GPS week begun, BeiDou's not yet", kSunday - 10, 8000, 604794000, 0, 10790000},
        {"half a second on, rounded to the ms", kSunday + 0.5004, 18500, 4500, 0, 10800500},
    };
    for (const sCase& c : cases) {
        SCOPED_TRACE(c.when);
        const sMsmEpochTimes times = MsmEpochTimes(c.unix, kLeap);
        EXPECT_EQ(times.gpsWeekMs, c.gpsMs);
        EXPECT_EQ(times.beidouWeekMs, c.beidouMs);
        EXPECT_EQ(times.glonassDay, c.glonassDay);
        EXPECT_EQ(times.glonassDayMs, c.glonassMs);

        // And as the messages carry them.
        CRTCM3MessageBuilder builder(sRTCM3SimSettings{});
        sRTCM3SimEpoch epoch;
        builder.BuildEpoch(c.unix, kLeap, epoch);
        ASSERT_EQ(epoch.count, 6u);
        EXPECT_EQ(ReadMsmHeader(epoch.frames[2]).epoch, c.gpsMs);
        EXPECT_EQ(ReadMsmHeader(epoch.frames[3]).epoch, (std::uint32_t(c.glonassDay) << 27) | c.glonassMs);
        EXPECT_EQ(ReadMsmHeader(epoch.frames[4]).epoch, c.gpsMs) << "Galileo counts GPS time";
        EXPECT_EQ(ReadMsmHeader(epoch.frames[5]).epoch, c.beidouMs);
    }
}

TEST(RTCM3MessageBuilderTest, EveryFrameCarriesItsLengthAndAGoodCrc)
{
    for (const unsigned msm : {4u, 7u}) {
        sRTCM3SimSettings settings;
        settings.msm = msm;
        settings.satellites = {32, 24, 32, 32};
        CRTCM3MessageBuilder builder(settings);
        sRTCM3SimEpoch epoch;
        builder.BuildEpoch(kSunday, kLeap, epoch);
        for (unsigned i = 0; i < epoch.count; ++i) {
            const sRTCM3SimFrame& frame = epoch.frames[i];
            SCOPED_TRACE(frame.type);
            ASSERT_GE(frame.length, 6u);
            EXPECT_EQ(frame.data[0], 0xD3);
            EXPECT_EQ(frame.data[1] & 0xFC, 0) << "reserved bits";
            EXPECT_EQ(((frame.data[1] & 0x03u) << 8 | frame.data[2]) + 6u, frame.length);
            const std::uint32_t crc = testing::rtcm3_reference::Crc24q(frame.data.data(), frame.length - 3u);
            EXPECT_EQ(crc, std::uint32_t(frame.data[frame.length - 3]) << 16 |
                               std::uint32_t(frame.data[frame.length - 2]) << 8 | frame.data[frame.length - 1]);
        }
    }
}

TEST(RTCM3MessageBuilderTest, StationMessagesEveryTenAndThirtySeconds)
{
    CRTCM3MessageBuilder builder(sRTCM3SimSettings{});
    sRTCM3SimEpoch epoch;
    const auto stationTypes = [&](double unix) {
        builder.BuildEpoch(unix, kLeap, epoch);
        std::vector<unsigned> types;
        for (unsigned i = 0; i < epoch.count; ++i)
            if (epoch.frames[i].type < 1070)
                types.push_back(epoch.frames[i].type);
        return types;
    };
    // GPS seconds of the week: the Sunday's UTC midnight is GPS second 18.
    EXPECT_EQ(stationTypes(kSunday + 1), (std::vector<unsigned>{1005, 1033})) << "the first epoch";
    EXPECT_EQ(stationTypes(kSunday + 3), (std::vector<unsigned>{}));
    EXPECT_EQ(stationTypes(kSunday + 2), (std::vector<unsigned>{1005})) << "GPS second 20";
    EXPECT_EQ(stationTypes(kSunday + 12), (std::vector<unsigned>{1005, 1033})) << "GPS second 30";
    EXPECT_EQ(stationTypes(kSunday + 12.2), (std::vector<unsigned>{})) << "not on the whole second";
}

TEST(RTCM3MessageBuilderTest, StationPositionAndDescription)
{
    CRTCM3MessageBuilder builder(sRTCM3SimSettings{});
    sRTCM3SimFrame frame;
    builder.Build1005(frame);
    ASSERT_EQ(frame.PayloadLength(), 19u);
    BitReader position(frame.Payload());
    EXPECT_EQ(position.Get(12), 1005u);
    EXPECT_EQ(position.Get(12), 2001u);
    position.Get(6);
    EXPECT_EQ(position.Get(3), 0b111u) << "GPS, GLONASS and Galileo";
    position.Get(1);
    EXPECT_EQ(position.GetSigned(38), 39123577600);
    position.Get(2);
    EXPECT_EQ(position.GetSigned(38), 3505727518);
    position.Get(2);
    EXPECT_EQ(position.GetSigned(38), 50082868430);

    builder.Build1033(frame);
    BitReader description(frame.Payload());
    EXPECT_EQ(description.Get(12), 1033u);
    EXPECT_EQ(description.Get(12), 2001u);
    EXPECT_EQ(description.GetText(), SimStation::kAntenna);
    EXPECT_EQ(description.Get(8), 0u);
    EXPECT_EQ(description.GetText(), SimStation::kAntennaSerial);
    EXPECT_EQ(description.GetText(), SimStation::kReceiver);
    EXPECT_EQ(description.GetText(), SimStation::kFirmware);
    EXPECT_EQ(description.GetText(), SimStation::kReceiverSerial);
    EXPECT_EQ(frame.PayloadLength(), 3u + 1 + 20 + 1 + 1 + 6 + 1 + 6 + 1 + 4 + 1 + 10);
}

TEST(RTCM3MessageBuilderTest, SettingsAndSatelliteTexts)
{
    struct sCase {
        const char* text;
        bool parses;
        std::array<unsigned, kSimGnssCount> counts;
    } const cases[] = {
        {"G10,R7,E8,C8", true, {10, 7, 8, 8}},
        {"c3,g5", true, {5, 0, 0, 3}},
        {"E12", true, {0, 0, 12, 0}},
        {"G10,G4", false, {}},
        {"X4", false, {}},
        {"G", false, {}},
        {"G10,", false, {}},
        {"G1x", false, {}},
    };
    for (const sCase& c : cases) {
        std::array<unsigned, kSimGnssCount> counts{};
        std::string error;
        EXPECT_EQ(ParseSimSatellites(c.text, counts, error), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(counts, c.counts) << c.text;
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
    EXPECT_EQ(SimSatellitesText({10, 0, 8, 8}), "G10,E8,C8");

    std::string error;
    sRTCM3SimSettings settings;
    EXPECT_TRUE(CheckRTCM3SimSettings(settings, error)) << error;
    for (const auto& change : std::vector<void (*)(sRTCM3SimSettings&)>{
             [](sRTCM3SimSettings& s) { s.msm = 5; }, [](sRTCM3SimSettings& s) { s.epochsPerSecond = 3; },
             [](sRTCM3SimSettings& s) { s.stationId = 4096; }, [](sRTCM3SimSettings& s) { s.satellites[1] = 25; },
             [](sRTCM3SimSettings& s) { s.satellites = {}; }}) {
        sRTCM3SimSettings bad;
        change(bad);
        EXPECT_FALSE(CheckRTCM3SimSettings(bad, error));
    }
}

}  // namespace
}  // namespace TolvarRT
