// The fields frames carry about themselves: the real captures read as
// gpsdecode (gpsd-clients) and RTKLIB's convbin read them, each GNSS's epoch
// rule, frames cut short, over-long station texts, and the RTCM v2 and CMR
// headers.
#include "decoders/frame_content.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decoders/dc_cmr_handler.h"
#include "fake_byte_pipe.h"
#include "rtcm2_harness.h"
#include "rtcm2_writer.h"
#include "rtcm3_payloads.h"

namespace TolvarRT::testing {
namespace {

using sPayload = sRtcm3Payload;

std::vector<sPayload> CapturePayloads(const std::string& capture)
{
    return Rtcm3Payloads(ReadCapture(capture));
}

sFrameContent Read3(const sPayload& payload)
{
    sFrameContent content;
    EXPECT_TRUE(ReadRTCM3Content(payload.bytes.data(), std::uint16_t(payload.bytes.size()), content))
        << "type " << payload.type;
    return content;
}

// Legacy observations of a capture, summed per type over the file, as
// gpsdecode -j lists them (station_id, tow, sync, the satellites' array).
struct sLegacyRow {
    const char* capture;
    unsigned type;
    unsigned count;
    std::uint16_t station;
    std::uint32_t firstEpoch, lastEpoch;
    std::uint64_t epochSum;
    unsigned satelliteSum;
    bool sync;
};

const sLegacyRow kLegacyRows[] = {
    {"testglo.rtcm3", 1004, 186, 0, 515220000, 515405000, 95848125000ull, 2046, true},
    {"testglo.rtcm3", 1012, 186, 0, 7605000, 7790000, 1431735000ull, 1100, false},
    {"ublox-f9p-rtcm.log", 1004, 2, 278, 258059000, 258060000, 516119000ull, 22, true},
    {"ublox-f9p-rtcm.log", 1012, 2, 278, 9641000, 9642000, 19283000ull, 16, false},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1001, 1, 0, 318946000, 318946000, 318946000ull, 11, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1002, 1, 0, 318946000, 318946000, 318946000ull, 11, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1003, 1, 0, 318945000, 318945000, 318945000ull, 11, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1004, 1, 0, 318945000, 318945000, 318945000ull, 11, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1009, 1, 0, 70527000, 70527000, 70527000ull, 8, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1010, 1, 0, 70527000, 70527000, 70527000ull, 8, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1011, 1, 0, 70527000, 70527000, 70527000ull, 8, true},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1012, 1, 0, 70527000, 70527000, 70527000ull, 8, true},
};

TEST(FrameContentCaptureTest, LegacyObservationsAgreeWithGpsdecode)
{
    for (const sLegacyRow& row : kLegacyRows) {
        SCOPED_TRACE(std::string(row.capture) + " " + std::to_string(row.type));
        unsigned count = 0, satellites = 0;
        std::uint64_t epochSum = 0;
        std::uint32_t first = 0, last = 0;
        for (const sPayload& payload : CapturePayloads(row.capture)) {
            if (payload.type != row.type)
                continue;
            const sFrameContent content = Read3(payload);
            EXPECT_TRUE(content.hasStation);
            EXPECT_EQ(content.stationId, row.station);
            EXPECT_EQ(content.gnss, row.type < 1009 ? Gnss::GPS : Gnss::GLONASS);
            EXPECT_EQ(content.epochScale, row.type < 1009 ? EpochScale::GpsWeekMs : EpochScale::GlonassDayMs);
            EXPECT_EQ(content.sync, row.sync ? 1 : 0);
            EXPECT_EQ(content.multiple, -1);
            EXPECT_EQ(content.dayOfWeek, 7);
            first = count == 0 ? content.epochMs : first;
            last = content.epochMs;
            epochSum += content.epochMs;
            satellites += content.satellites;
            ++count;
        }
        EXPECT_EQ(count, row.count);
        EXPECT_EQ(first, row.firstEpoch);
        EXPECT_EQ(last, row.lastEpoch);
        EXPECT_EQ(epochSum, row.epochSum);
        EXPECT_EQ(satellites, row.satelliteSum);
    }
}

// MSM headers as convbin -r rtcm3 -trace 4 prints them (decode_head_msm:
// staid, nsat, nsig, sync, ncell), in stream order per type. convbin gives
// GPS time; the fields count GPS time of week for GPS, Galileo, SBAS, QZSS
// and NavIC, BDT (GPS - 14 s) for BeiDou, and Moscow time (UTC + 3 h, GPS -
// 18 s) for GLONASS: NTRIP 16:35:45 GPS on Wednesday, MIXED 08:42:17.001 GPS (its
// RINEX epoch; the trace rounds to 10 ms) on Tuesday, ublox 23:40:59 GPS on Tuesday (Wednesday in Moscow).
struct sMsmRow {
    const char* capture;
    unsigned type;
    Gnss gnss;
    std::uint32_t epochMs;
    std::uint8_t dayOfWeek;
    bool multiple;
    unsigned satellites, signalTypes, cells;
};

const sMsmRow kMsmRows[] = {
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1076, Gnss::GPS, 318945000, 7, true, 10, 6, 42},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1077, Gnss::GPS, 318945000, 7, true, 10, 6, 42},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1086, Gnss::GLONASS, 70527000, 3, true, 8, 4, 28},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1087, Gnss::GLONASS, 70527000, 3, true, 8, 4, 28},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1096, Gnss::Galileo, 318945000, 7, true, 7, 5, 35},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1097, Gnss::Galileo, 318945000, 7, true, 7, 5, 35},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1106, Gnss::SBAS, 318945000, 7, true, 2, 2, 3},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1107, Gnss::SBAS, 318945000, 7, true, 2, 2, 3},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1116, Gnss::QZSS, 318945000, 7, true, 0, 0, 0},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1117, Gnss::QZSS, 318945000, 7, true, 0, 0, 0},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1126, Gnss::BeiDou, 318931000, 7, true, 11, 3, 23},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1127, Gnss::BeiDou, 318931000, 7, true, 11, 3, 23},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1136, Gnss::NavIC, 318945000, 7, true, 0, 0, 0},
    {"pygpsdata-NTRIP-USCL00CHL0.log", 1137, Gnss::NavIC, 318945000, 7, false, 0, 0, 0},
    {"pygpsdata-MIXED-RTCM3BADCRC.log", 1077, Gnss::GPS, 204137001, 7, true, 10, 2, 17},
    {"pygpsdata-MIXED-RTCM3BADCRC.log", 1087, Gnss::GLONASS, 42119001, 2, true, 7, 2, 13},
    {"pygpsdata-MIXED-RTCM3BADCRC.log", 1097, Gnss::Galileo, 204137001, 7, true, 5, 2, 10},
    {"pygpsdata-MIXED-RTCM3BADCRC.log", 1127, Gnss::BeiDou, 204123001, 7, false, 10, 2, 11},
    {"ublox-f9p-rtcm.log", 1077, Gnss::GPS, 258059000, 7, true, 9, 2, 16},
    {"ublox-f9p-rtcm.log", 1087, Gnss::GLONASS, 9641000, 3, false, 7, 2, 12},
    {"ublox-f9p-rtcm.log", 1087, Gnss::GLONASS, 9642000, 3, false, 7, 2, 12},
};

TEST(FrameContentCaptureTest, MsmHeadersAgreeWithConvbin)
{
    for (const char* capture :
         {"pygpsdata-NTRIP-USCL00CHL0.log", "pygpsdata-MIXED-RTCM3BADCRC.log", "ublox-f9p-rtcm.log"}) {
        std::vector<const sMsmRow*> expected;
        for (const sMsmRow& row : kMsmRows)
            if (std::strcmp(row.capture, capture) == 0)
                expected.push_back(&row);
        std::vector<sFrameContent> read;
        std::vector<unsigned> types;
        for (const sPayload& payload : CapturePayloads(capture))
            if (payload.type >= 1071 && payload.type <= 1137) {
                read.push_back(Read3(payload));
                types.push_back(payload.type);
            }
        // convbin stops before the second 1077 of the ublox capture; its
        // epoch is that of the second 1004 (gpsdecode), 1 s after the first.
        if (std::strcmp(capture, "ublox-f9p-rtcm.log") == 0) {
            ASSERT_EQ(types.size(), 4u);
            ASSERT_EQ(types[2], 1077u);
            EXPECT_EQ(read[2].epochMs, 258060000u);
            EXPECT_EQ(read[2].satellites, read[0].satellites);
            read.erase(read.begin() + 2);
            types.erase(types.begin() + 2);
        }
        ASSERT_EQ(read.size(), expected.size()) << capture;
        for (std::size_t i = 0; i < read.size(); ++i) {
            const sMsmRow& row = *expected[i];
            const sFrameContent& content = read[i];
            SCOPED_TRACE(std::string(capture) + " " + std::to_string(row.type));
            EXPECT_EQ(types[i], row.type);
            EXPECT_TRUE(content.hasStation);
            EXPECT_EQ(content.stationId, 0);
            EXPECT_EQ(content.gnss, row.gnss);
            EXPECT_EQ(content.epochMs, row.epochMs);
            EXPECT_EQ(content.dayOfWeek, row.dayOfWeek);
            EXPECT_EQ(content.multiple, row.multiple ? 1 : 0);
            EXPECT_EQ(content.sync, -1);
            EXPECT_EQ(content.satellites, row.satellites);
            EXPECT_EQ(content.signalTypes, row.signalTypes);
            EXPECT_EQ(content.cells, row.cells);
        }
    }
}

// Antenna reference points and descriptors as gpsdecode -j prints them.
TEST(FrameContentCaptureTest, StationRecordsAgreeWithGpsdecode)
{
    unsigned testglo1005 = 0;
    for (const sPayload& payload : CapturePayloads("testglo.rtcm3"))
        if (payload.type == 1005) {
            const sFrameContent content = Read3(payload);
            EXPECT_TRUE(content.hasReferencePoint && !content.hasHeight);
            EXPECT_EQ(content.x, -3869297.5138);
            EXPECT_EQ(content.y, 3436571.3345);
            EXPECT_EQ(content.z, 3717369.3757);
            ++testglo1005;
        }
    EXPECT_EQ(testglo1005, 19u);

    for (const sPayload& payload : CapturePayloads("pygpsdata-NTRIP-USCL00CHL0.log")) {
        SCOPED_TRACE(payload.type);
        const sFrameContent content = Read3(payload);
        if (payload.type == 1005 || payload.type == 1006) {
            EXPECT_TRUE(content.hasStation && content.hasReferencePoint);
            EXPECT_EQ(content.x, 1762489.6191);
            EXPECT_EQ(content.y, -5027633.8438);
            EXPECT_EQ(content.z, -3496008.8438);
            EXPECT_EQ(content.hasHeight, payload.type == 1006);
            EXPECT_EQ(content.height, payload.type == 1006 ? 0.0343 : 0.0);
        }
        if (payload.type == 1007 || payload.type == 1008 || payload.type == 1033) {
            EXPECT_TRUE(content.hasDescriptor);
            EXPECT_STREQ(content.antenna.text, "SEPCHOKE_B3E6   SPKE");
            EXPECT_EQ(content.setupId, 0);
            EXPECT_EQ(content.hasAntennaSerial, payload.type != 1007);
            EXPECT_STREQ(content.antennaSerial.text, payload.type == 1007 ? "" : "5856");
            EXPECT_EQ(content.hasReceiver, payload.type == 1033);
        }
        if (payload.type == 1033) {
            EXPECT_STREQ(content.receiver.text, "SEPT POLARX5");
            EXPECT_STREQ(content.firmware.text, "5.5.0");
            // gpsdecode leaves the receiver serial out; read off the frame's
            // last bytes: a count of 7 and "3075024".
            EXPECT_STREQ(content.receiverSerial.text, "3075024");
        }
    }

    for (const sPayload& payload : CapturePayloads("ublox-f9p-rtcm.log"))
        if (payload.type == 1008 || payload.type == 1033) {
            const sFrameContent content = Read3(payload);
            EXPECT_EQ(content.stationId, 278);
            EXPECT_STREQ(content.antenna.text, "GPPNULLANTENNA");
            EXPECT_EQ(content.antenna.length, 14);
            EXPECT_TRUE(content.hasAntennaSerial);
            EXPECT_STREQ(content.antennaSerial.text, "");
            if (payload.type == 1033) {
                EXPECT_STREQ(content.receiver.text, "LEICA GR10");
                EXPECT_STREQ(content.firmware.text, "4.50");
            }
        }
}

// Station ids where gpsdecode prints one; ephemerides, SSR and proprietary
// messages carry none and are read as having nothing.
TEST(FrameContentCaptureTest, OnlyMessagesWithAStationGiveOne)
{
    for (const char* capture : {"testglo.rtcm3", "rtcm3-1.log", "ublox-f9p-rtcm.log", "pygpsdata-NTRIP-USCL00CHL0.log"})
        for (const sPayload& payload : CapturePayloads(capture)) {
            SCOPED_TRACE(std::string(capture) + " " + std::to_string(payload.type));
            const sFrameContent content = Read3(payload);
            const bool stationless = payload.type == 1019 || payload.type == 1020 || payload.type == 1042 ||
                                     payload.type == 1045 || payload.type == 1046 || payload.type == 1059 ||
                                     payload.type == 1060 || payload.type == 4072;
            EXPECT_EQ(content.hasStation, !stationless);
            if (stationless) {
                EXPECT_FALSE(content.HasEpoch() || content.hasReferencePoint || content.hasDescriptor);
            }
        }
}

// Per capture as gpsdecode -j lists the frames: station_id, zcount, seqnum
// summed over the file (the Z-count in its 0.6 s units).
TEST(FrameContentCaptureTest, Rtcm2HeadersAgreeWithGpsdecode)
{
    struct Row {
        const char* capture;
        unsigned count;
        std::uint16_t station;
        std::uint16_t firstZcount;
        std::uint64_t zcountSum;
        unsigned sequenceSum;
    };
    for (const Row& row :
         {Row{"sample.rtcm2", 131, 268, 416, 68731, 454}, Row{"rtcm2.bend.log", 162, 205, 4960, 807141, 561}}) {
        SCOPED_TRACE(row.capture);
        const std::vector<std::uint8_t> stream = ReadCapture(row.capture);
        const Rtcm2Run run = DecodeRtcm2(stream, FixedChunks(stream.size(), 1024));
        ASSERT_EQ(run.frames.size(), row.count);
        std::uint64_t zcounts = 0;
        unsigned sequences = 0;
        for (const RecordedFrame& frame : run.frames) {
            sFrameContent content;
            ASSERT_TRUE(ReadRTCM2Content(frame.words.data(), frame.length, content));
            EXPECT_TRUE(content.hasStation && content.hasZcount);
            EXPECT_EQ(content.stationId, row.station);
            EXPECT_EQ(content.epochScale, EpochScale::GpsHourMs);
            EXPECT_EQ(content.epochMs, content.zcount * 600u);
            EXPECT_EQ(content.gnss, Gnss::None);
            zcounts += content.zcount;
            sequences += content.sequence;
        }
        sFrameContent first;
        ReadRTCM2Content(run.frames[0].words.data(), run.frames[0].length, first);
        EXPECT_EQ(first.zcount, row.firstZcount);
        EXPECT_EQ(zcounts, row.zcountSum);
        EXPECT_EQ(sequences, row.sequenceSum);
    }
}

// Hand-built frames, bit by bit, most significant first.
class BitWriter {
public:
    BitWriter& Put(std::uint64_t value, unsigned count)
    {
        for (unsigned i = count; i-- > 0;) {
            if (bits % 8 == 0)
                bytes.push_back(0);
            if ((value >> i) & 1u)
                bytes.back() |= std::uint8_t(0x80u >> (bits % 8));
            ++bits;
        }
        return *this;
    }
    BitWriter& Text(const std::string& text)
    {
        Put(text.size(), 8);
        for (const char c : text)
            Put(std::uint8_t(c), 8);
        return *this;
    }
    std::vector<std::uint8_t> bytes;
    unsigned bits = 0;
};

// An MSM4 frame of two satellites and two signals, three cells set.
std::vector<std::uint8_t> Msm4(unsigned type, std::uint32_t epochField, bool multiple)
{
    BitWriter w;
    w.Put(type, 12).Put(1234, 12).Put(epochField, 30).Put(multiple, 1).Put(0, 3 + 7 + 2 + 2 + 1 + 3);
    w.Put((1ull << 63) | (1ull << 40), 64).Put((1u << 31) | (1u << 2), 32).Put(0b1101, 4);
    w.Put(0, 2 * 18 + 3 * 48);
    return w.bytes;
}

TEST(FrameContentTest, EachGnssCountsItsMsmEpochByItsOwnRule)
{
    struct Row {
        unsigned type;
        Gnss gnss;
        const char* name;
        EpochScale scale;
        std::uint32_t field, epochMs;
        std::uint8_t dayOfWeek;
    };
    // GLONASS: 3-bit day of week (Thursday) then 27-bit ms of the day.
    const std::uint32_t glonass = (4u << 27) | 45296789u;
    const Row rows[] = {
        {1074, Gnss::GPS, "GPS", EpochScale::GpsWeekMs, 604799999, 604799999, 7},
        {1084, Gnss::GLONASS, "GLONASS", EpochScale::GlonassDayMs, glonass, 45296789, 4},
        {1094, Gnss::Galileo, "Galileo", EpochScale::GpsWeekMs, 123456789, 123456789, 7},
        {1104, Gnss::SBAS, "SBAS", EpochScale::GpsWeekMs, 1000, 1000, 7},
        {1114, Gnss::QZSS, "QZSS", EpochScale::GpsWeekMs, 2000, 2000, 7},
        {1124, Gnss::BeiDou, "BeiDou", EpochScale::BeiDouWeekMs, 3000, 3000, 7},
        {1134, Gnss::NavIC, "NavIC", EpochScale::GpsWeekMs, 4000, 4000, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        const std::vector<std::uint8_t> frame = Msm4(row.type, row.field, row.type % 20 == 4);
        sFrameContent content;
        ASSERT_TRUE(ReadRTCM3Content(frame.data(), std::uint16_t(frame.size()), content));
        EXPECT_EQ(content.stationId, 1234);
        EXPECT_EQ(content.gnss, row.gnss);
        EXPECT_STREQ(GnssName(content.gnss), row.name);
        EXPECT_EQ(content.epochScale, row.scale);
        EXPECT_EQ(content.epochMs, row.epochMs);
        EXPECT_EQ(content.dayOfWeek, row.dayOfWeek);
        EXPECT_EQ(content.multiple, row.type % 20 == 4 ? 1 : 0);
        EXPECT_EQ(content.satellites, 2);
        EXPECT_EQ(content.signalTypes, 2);
        EXPECT_EQ(content.cells, 3);
    }
    EXPECT_STREQ(GnssName(Gnss::None), "");
}

std::vector<std::uint8_t> Receiver1033(const std::string& receiver)
{
    BitWriter w;
    w.Put(1033, 12).Put(4095, 12).Text("ANT").Put(7, 8).Text("SN1").Text(receiver).Text("FW 1.0").Text("RS-9");
    return w.bytes;
}

std::vector<std::uint8_t> Legacy1004()
{
    BitWriter w;
    w.Put(1004, 12).Put(17, 12).Put(345678900, 30).Put(1, 1).Put(2, 5).Put(0, 4).Put(0, 2 * 125);
    return w.bytes;
}

std::vector<std::uint8_t> Point1006()
{
    BitWriter w;
    w.Put(1006, 12).Put(5, 12).Put(0, 10);
    w.Put(std::uint64_t(-12345678901ll) & ((1ull << 38) - 1), 38).Put(0, 2);
    w.Put(98765432109ull, 38).Put(0, 2).Put(std::uint64_t(-1ll) & ((1ull << 38) - 1), 38).Put(15000, 16);
    return w.bytes;
}

TEST(FrameContentTest, StationTextsKeepThirtyOneCharactersAndTheCountSent)
{
    const std::string longName(40, 'R');
    const std::vector<std::uint8_t> frame = Receiver1033(longName);
    sFrameContent content;
    ASSERT_TRUE(ReadRTCM3Content(frame.data(), std::uint16_t(frame.size()), content));
    EXPECT_EQ(content.stationId, 4095);
    EXPECT_STREQ(content.antenna.text, "ANT");
    EXPECT_EQ(content.setupId, 7);
    EXPECT_STREQ(content.antennaSerial.text, "SN1");
    EXPECT_EQ(std::string(content.receiver.text), longName.substr(0, 31));
    EXPECT_EQ(content.receiver.length, 40);
    // The fields after the long one are read from where it really ends.
    EXPECT_STREQ(content.firmware.text, "FW 1.0");
    EXPECT_STREQ(content.receiverSerial.text, "RS-9");
}

TEST(FrameContentTest, ReferencePointIsSignedTenthsOfMillimetres)
{
    const std::vector<std::uint8_t> frame = Point1006();
    sFrameContent content;
    ASSERT_TRUE(ReadRTCM3Content(frame.data(), std::uint16_t(frame.size()), content));
    EXPECT_EQ(frame.size(), 21u);
    EXPECT_EQ(content.x, -1234567.8901);
    EXPECT_EQ(content.y, 9876543.2109);
    EXPECT_EQ(content.z, -0.0001);
    EXPECT_EQ(content.height, 1.5);
}

// Every cut of a good frame is refused with nothing kept; each cut is a
// buffer of its own size, so a read past it is caught by the sanitizers.
TEST(FrameContentTest, FramesCutShortAreRefusedAndLeaveNothing)
{
    const std::vector<std::vector<std::uint8_t>> frames = {Legacy1004(), Msm4(1077, 1, false), Msm4(1087, 1, false),
                                                           Point1006(), Receiver1033("RX")};
    for (const auto& frame : frames) {
        for (std::size_t length = 0; length < frame.size(); ++length) {
            SCOPED_TRACE(std::to_string(frame.size()) + " bytes cut to " + std::to_string(length));
            const std::vector<std::uint8_t> cut(frame.begin(), frame.begin() + std::ptrdiff_t(length));
            sFrameContent content;
            content.hasStation = true;
            EXPECT_FALSE(ReadRTCM3Content(cut.data(), std::uint16_t(cut.size()), content));
            EXPECT_FALSE(content.hasStation || content.HasEpoch() || content.hasDescriptor);
            EXPECT_EQ(content.antenna.length, 0);
        }
    }
    // A text count that runs past the frame.
    std::vector<std::uint8_t> overrun = Receiver1033("RX");
    overrun.resize(overrun.size() - 1);
    sFrameContent content;
    EXPECT_FALSE(ReadRTCM3Content(overrun.data(), std::uint16_t(overrun.size()), content));
    // More cells than a mask may hold: 9 satellites x 8 signals.
    BitWriter w;
    w.Put(1074, 12).Put(0, 12 + 30 + 1 + 18).Put(0x1FF, 64).Put(0xFF, 32).Put(0, 400);
    EXPECT_FALSE(ReadRTCM3Content(w.bytes.data(), std::uint16_t(w.bytes.size()), content));
}

TEST(FrameContentTest, UnknownRtcm3TypesGiveNothingButAreRead)
{
    const std::uint8_t frame[] = {0xFE, 0x80, 0x01};  // 4072
    sFrameContent content;
    EXPECT_TRUE(ReadRTCM3Content(frame, sizeof frame, content));
    EXPECT_FALSE(content.hasStation);
    EXPECT_FALSE(ReadRTCM3Content(frame, 1, content));
}

std::vector<std::uint8_t> Rtcm2Words(const Rtcm2Fields& fields, unsigned dataWords)
{
    std::vector<std::uint8_t> words;
    for (const std::uint32_t word : Rtcm2Writer::HeaderWords(fields, dataWords))
        for (const int shift : {16, 8, 0})
            words.push_back(std::uint8_t(word >> shift));
    words.resize(3 * (2 + dataWords), 0x55);
    return words;
}

TEST(FrameContentTest, Rtcm2HeaderGivesStationZcountAndSequence)
{
    const std::vector<std::uint8_t> words = Rtcm2Words({18, 1023, 5999, 7, 0}, 3);
    sFrameContent content;
    ASSERT_TRUE(ReadRTCM2Content(words.data(), 3, content));
    EXPECT_EQ(content.stationId, 1023);
    EXPECT_EQ(content.zcount, 5999);
    EXPECT_EQ(content.sequence, 7);
    EXPECT_EQ(content.epochScale, EpochScale::GpsHourMs);
    EXPECT_EQ(content.epochMs, 3599400u);
    // Fewer data words than the header announces; a word that is no header.
    EXPECT_FALSE(ReadRTCM2Content(words.data(), 2, content));
    EXPECT_FALSE(content.hasStation);
    std::vector<std::uint8_t> bad = words;
    bad[0] = 0x67;
    EXPECT_FALSE(ReadRTCM2Content(bad.data(), 3, content));
}

TEST(FrameContentTest, CmrHeaderGivesStationEpochAndSatellites)
{
    // Version 2, station 29; type 0, 3 satellites; epoch 239999 ms.
    const std::uint32_t epoch = 239999;
    std::vector<std::uint8_t> type0 = {
        0x5D, 0x03, std::uint8_t(epoch >> 10), std::uint8_t(epoch >> 2), std::uint8_t((epoch & 3u) << 6), 0};
    type0.resize(6 + 3 * 8, 0);
    struct Row {
        const char* what;
        std::uint8_t type;
        std::vector<std::uint8_t> data;
        bool read;
        bool station = false;
        std::uint16_t stationId = 0;
        Gnss gnss = Gnss::None;
        EpochScale scale = EpochScale::None;
        unsigned satellites = 0;
    };
    std::vector<std::uint8_t> type3 = type0;
    type3[1] = 0x63;
    std::vector<std::uint8_t> type1 = {0x5D, 0x20, 0, 0, 0, 0};
    const Row rows[] = {
        {"GPS observations", 0, type0, true, true, 29, Gnss::GPS, EpochScale::GpsFourMinuteMs, 3},
        {"GLONASS observations, UTC", 3, type3, true, true, 29, Gnss::GLONASS, EpochScale::None, 3},
        {"reference position", 1, type1, true, true, 29, Gnss::None, EpochScale::None, 0},
        {"CMR+ page", 5, {200, 0, 4, 1, 2}, true, true, 200, Gnss::None, EpochScale::None, 0},
        {"observations missing a satellite",
         0,
         {type0.begin(), type0.end() - 1},
         false,
         false,
         0,
         Gnss::None,
         EpochScale::None,
         0},
        {"header cut", 1, {0x5D, 0x20, 0, 0, 0}, false, false, 0, Gnss::None, EpochScale::None, 0},
        {"CMR+ page cut", 5, {200, 0}, false, false, 0, Gnss::None, EpochScale::None, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sFrameContent content;
        EXPECT_EQ(ReadCMRContent(row.type, row.data.data(), std::uint8_t(row.data.size()), content), row.read);
        EXPECT_EQ(content.hasStation, row.station);
        EXPECT_EQ(content.stationId, row.stationId);
        EXPECT_EQ(content.gnss, row.gnss);
        EXPECT_EQ(content.epochScale, row.scale);
        EXPECT_EQ(content.epochMs, row.scale == EpochScale::None ? 0u : epoch);
        EXPECT_EQ(content.satellites, row.satellites);
    }
}

// The fake CMR generator's frames read back with the epoch it stamped.
TEST(FrameContentTest, FakeCmrFramesCarryTheGeneratorsEpoch)
{
    CDCCMRHandler handler;
    sFakeFrame frame;
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t epoch = handler.FakeEpochTime();
        handler.BuildFakeCMR(frame, 0, 12 + 8);
        sFrameContent content;
        ASSERT_TRUE(ReadCMRContent(frame.type, frame.data, frame.length, content));
        EXPECT_EQ(content.epochMs, epoch);
        EXPECT_EQ(content.epochScale, EpochScale::GpsFourMinuteMs);
    }
}

}  // namespace
}  // namespace TolvarRT::testing
