// What a side's frames tell about themselves with no Source: ages against a
// chosen host clock, epochs seen, complete, incomplete and lost, station
// changes, and satellites per epoch. Frames are given as read content, so the
// figures are judged apart from the bit layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "chosen_time.h"
#include "core/gnss_time.h"
#include "stats/packet_stats.h"
#include "stats/stream_content.h"

namespace TolvarRT {
namespace {

using testing::At;

// 2026-12-06 00:00:00 UTC, a Sunday: the start of GPS week 2447 is 18 s earlier.
constexpr double kUnixBase = 1796515200.0;
constexpr int kLeap = 18;
constexpr double kGpsEpochUnix = 315964800.0;

double UnixAt(TimeStamp stamp)
{
    return kUnixBase + double(stamp - testing::kChosenTimeBase) / 1e9;
}

std::uint32_t GpsTowMs(double unix)
{
    return std::uint32_t(std::llround(std::fmod(unix + kLeap - kGpsEpochUnix, 604800.0) * 1000.0));
}

// An MSM frame of the epoch at host UTC epochUnix.
sFrameContent Msm(Gnss gnss, double epochUnix, bool more, std::uint8_t satellites = 8, std::uint16_t station = 7)
{
    sFrameContent content;
    content.hasStation = true;
    content.stationId = station;
    content.gnss = gnss;
    content.multiple = more ? 1 : 0;
    content.satellites = satellites;
    content.signalTypes = 2;
    content.cells = std::uint16_t(satellites * 2);
    switch (gnss) {
    case Gnss::GLONASS: {
        const double moscow = epochUnix + 3 * 3600.0;
        const double days = std::floor(moscow / 86400.0);
        content.epochScale = EpochScale::GlonassDayMs;
        content.epochMs = std::uint32_t(std::llround((moscow - days * 86400.0) * 1000.0));
        content.dayOfWeek = std::uint8_t((long(days) + 4) % 7);  // 1 January 1970 was a Thursday
        break;
    }
    case Gnss::BeiDou:
        content.epochScale = EpochScale::BeiDouWeekMs;
        content.epochMs = (GpsTowMs(epochUnix) + 604800000u - 14000u) % 604800000u;
        break;
    default:
        content.epochScale = EpochScale::GpsWeekMs;
        content.epochMs = GpsTowMs(epochUnix);
        break;
    }
    return content;
}

constexpr std::uint32_t Key(unsigned type)
{
    return FrameKey(kFrameClassRTCM3, type);
}

class StreamContentTest : public ::testing::Test {
protected:
    StreamContentTest() : content([this](const sLinkEvent& event) { events.push_back(event); })
    {
        content.SetArrivalClock(UnixAt);
        content.SetGpsMinusUtc(kLeap, "");
        sHostClockState clock;
        clock.known = true;
        clock.synchronised = true;
        content.SetHostClockState(clock);
    }

    // Epochs at 1 Hz from second 100 of the chosen time, each GPS then
    // GLONASS (the last), arriving latency after the epoch; dropped lists
    // (epoch, gnss) messages that never arrive.
    void SendEpochs(unsigned count, double latency, const std::set<std::pair<unsigned, Gnss>>& dropped)
    {
        for (unsigned n = 0; n < count; ++n) {
            const double epoch = 100.0 + n;
            if (!dropped.count({n, Gnss::GPS}))
                content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + epoch, true, 10), At(epoch + latency));
            if (!dropped.count({n, Gnss::GLONASS}))
                content.OnContent(Key(1084), Msm(Gnss::GLONASS, kUnixBase + epoch, false, 7),
                                  At(epoch + latency + 0.01));
        }
    }

    const sEpochFigures& Epochs(const sContentSnapshot& snapshot, Gnss gnss)
    {
        for (const sEpochFigures& figures : snapshot.epochs)
            if (figures.gnss == gnss)
                return figures;
        ADD_FAILURE() << "no epochs of " << GnssName(gnss);
        static const sEpochFigures none;
        return none;
    }

    std::vector<sLinkEvent> events;
    CStreamContent content;
};

TEST_F(StreamContentTest, AgeIsArrivalMinusEpochInEveryTimeScale)
{
    struct Case {
        const char* name;
        Gnss gnss;
        double epochOffsetS;  // from the chosen base, whose GPS time is 18 s into a week
        double ageS;
    };
    const Case cases[] = {
        {"GPS", Gnss::GPS, 5.0, 0.45},
        // The epoch in the last 200 ms of a GPS week, arriving in the next one.
        {"GPS across the week's end", Gnss::GPS, -18.2, 0.5},
        {"GLONASS with its day of week", Gnss::GLONASS, 40.0, 1.25},
        // 21:00 UTC is midnight in Moscow: the day of week turns with it.
        {"GLONASS across the Moscow midnight", Gnss::GLONASS, -3 * 3600.0 - 0.1, 0.3},
        {"BeiDou, 14 s behind GPS", Gnss::BeiDou, 5.0, 0.2},
        {"BeiDou across its week's end", Gnss::BeiDou, -4.1, 0.3},
    };
    for (const Case& c : cases) {
        CStreamContent one;
        one.SetArrivalClock(UnixAt);
        one.SetGpsMinusUtc(kLeap, "");
        const std::optional<double> age =
            one.OnContent(Key(1077), Msm(c.gnss, kUnixBase + c.epochOffsetS, false), At(c.epochOffsetS + c.ageS));
        ASSERT_TRUE(age.has_value()) << c.name;
        EXPECT_NEAR(*age, c.ageS, 1e-6) << c.name;
        const sContentSnapshot snapshot = one.Snapshot();
        ASSERT_EQ(snapshot.ages.size(), 1u) << c.name;
        EXPECT_EQ(snapshot.ages[0].name, "RTCM v3 Type 1077");
        EXPECT_NEAR(snapshot.ages[0].MeanS(), c.ageS, 1e-6) << c.name;
    }
}

TEST_F(StreamContentTest, GlonassWithoutDayOfWeekResolvesTheNearestDay)
{
    sFrameContent legacy = Msm(Gnss::GLONASS, kUnixBase + 10.0, false);
    legacy.dayOfWeek = 7;
    legacy.multiple = -1;
    legacy.sync = 0;
    const std::optional<double> age = content.OnContent(Key(1012), legacy, At(10.8));
    ASSERT_TRUE(age.has_value());
    EXPECT_NEAR(*age, 0.8, 1e-6);
}

TEST_F(StreamContentTest, AgesAClockCannotExplainAreFaultsNotFigures)
{
    // Below -1 s: the base's clock is ahead of the host's, or the host's behind.
    EXPECT_FALSE(content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 10.0, false), At(8.0)).has_value());
    // Two hours old: no link keeps a frame that long.
    EXPECT_FALSE(content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 10.0, false), At(7210.0)).has_value());
    // Half a second early is within what clocks disagree by.
    EXPECT_TRUE(content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 20.0, false), At(19.5)).has_value());
    const sContentSnapshot snapshot = content.Snapshot();
    ASSERT_EQ(snapshot.ages.size(), 1u);
    EXPECT_EQ(snapshot.ages[0].clockFaults, 2u);
    EXPECT_EQ(snapshot.ages[0].ages.Count(), 1u);
    EXPECT_TRUE(snapshot.clock.noAgesReason.empty());
}

TEST_F(StreamContentTest, NoAgesSaysWhy)
{
    // A CMR generator that counts its epochs from 1000 ms, whatever the time.
    CStreamContent cmr;
    cmr.SetArrivalClock(UnixAt);
    cmr.SetGpsMinusUtc(kLeap, "");
    for (unsigned n = 0; n < 5; ++n) {
        sFrameContent frame;
        frame.hasStation = true;
        frame.gnss = Gnss::GPS;
        frame.epochScale = EpochScale::GpsFourMinuteMs;
        frame.epochMs = 1000 + 1000 * n;
        cmr.OnContent(FrameKey(kFrameClassCMR, 0), frame, At(130.0 + n));
    }
    EXPECT_EQ(cmr.Snapshot().clock.noAgesReason,
              "CMR epochs repeat every 4 minutes: too often to tell a late frame from a wrong clock");

    CStreamContent behind;
    behind.SetArrivalClock(UnixAt);
    behind.SetGpsMinusUtc(kLeap, "");
    behind.OnContent(Key(1004), Msm(Gnss::GPS, kUnixBase + 60.0, false), At(30.0));
    EXPECT_EQ(behind.Snapshot().clock.noAgesReason, "ages below -1 s: the host clock or the base's clock is wrong");
}

TEST_F(StreamContentTest, EpochsCountedWithoutASource)
{
    // Epoch 3 loses its GLONASS message while the interval is still being
    // learned; epoch 12 loses both; epoch 20 loses its GPS message; epoch 25
    // its last message, GLONASS.
    SendEpochs(30, 0.45,
               {{3, Gnss::GLONASS}, {12, Gnss::GPS}, {12, Gnss::GLONASS}, {20, Gnss::GPS}, {25, Gnss::GLONASS}});
    const sContentSnapshot snapshot = content.Snapshot();
    const sEpochFigures& gps = Epochs(snapshot, Gnss::GPS);
    const sEpochFigures& glonass = Epochs(snapshot, Gnss::GLONASS);
    EXPECT_DOUBLE_EQ(gps.intervalS, 1.0);
    EXPECT_EQ(gps.stationId, 7u);
    EXPECT_EQ(gps.seen, 28u);
    EXPECT_EQ(gps.lost, 2u);
    EXPECT_EQ(glonass.seen, 27u);
    EXPECT_EQ(glonass.lost, 3u);
    // Whole only where both came: epochs 3, 20 and 25 were part-received.
    EXPECT_EQ(gps.complete, 26u);
    EXPECT_EQ(gps.incomplete, 2u);  // 3 and 25
    EXPECT_EQ(glonass.complete, 26u);
    EXPECT_EQ(glonass.incomplete, 1u);  // 20
    std::uint64_t reported = 0;
    for (const sLinkEvent& event : events) {
        ASSERT_EQ(event.kind, eLinkEventKind::EpochsLost);
        EXPECT_EQ(event.stationId, 7u);
        reported += event.epochs;
    }
    EXPECT_EQ(reported, gps.lost + glonass.lost);

    ASSERT_EQ(snapshot.ages.size(), 2u);
    EXPECT_EQ(snapshot.ages[0].ages.Count(), 28u);
    EXPECT_NEAR(snapshot.ages[0].ages.Distribution().medianS, 0.45, 0.01);
    EXPECT_NEAR(snapshot.ages[1].MeanS(), 0.46, 1e-6);
}

TEST_F(StreamContentTest, AShortRunJudgesLostEpochsFromTheDifferencesItHas)
{
    SendEpochs(5, 0.2, {{2, Gnss::GPS}});
    const sContentSnapshot snapshot = content.Snapshot();
    EXPECT_EQ(Epochs(snapshot, Gnss::GPS).lost, 1u);
    EXPECT_DOUBLE_EQ(Epochs(snapshot, Gnss::GPS).intervalS, 1.0);
    EXPECT_EQ(Epochs(snapshot, Gnss::GLONASS).lost, 0u);
}

TEST_F(StreamContentTest, AnEpochWaitingForItsLastMessageIsJudgedOnceOverdue)
{
    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 100.0, true), At(100.1));
    EXPECT_EQ(Epochs(content.Snapshot(), Gnss::GPS).incomplete, 0u);
    content.CheckEpochs(At(100.5));
    EXPECT_EQ(Epochs(content.Snapshot(), Gnss::GPS).incomplete, 0u);
    content.CheckEpochs(At(102.0));
    EXPECT_EQ(Epochs(content.Snapshot(), Gnss::GPS).incomplete, 1u);
}

TEST_F(StreamContentTest, SatellitesPerEpochPerGnss)
{
    SendEpochs(4, 0.1, {});
    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 104.0, false, 12), At(104.1));
    const sContentSnapshot snapshot = content.Snapshot();
    ASSERT_EQ(snapshot.satellites.size(), 2u);
    const sSatelliteFigures& gps = snapshot.satellites[0];
    EXPECT_EQ(gps.gnss, Gnss::GPS);
    EXPECT_EQ(gps.epochs, 5u);
    EXPECT_EQ(gps.satellitesMin, 10u);
    EXPECT_EQ(gps.satellitesMax, 12u);
    EXPECT_DOUBLE_EQ(gps.satellitesMean, 10.4);
    EXPECT_DOUBLE_EQ(gps.signalsMean, 2.0);
    EXPECT_EQ(snapshot.satellites[1].gnss, Gnss::GLONASS);
    EXPECT_DOUBLE_EQ(snapshot.satellites[1].cellsMean, 14.0);
}

sFrameContent ReferencePoint(double x, double y, double z)
{
    sFrameContent point;
    point.hasStation = true;
    point.stationId = 7;
    point.hasReferencePoint = true;
    point.x = x;
    point.y = y;
    point.z = z;
    return point;
}

void SetText(sRecordText& field, const char* text)
{
    field.length = std::uint8_t(std::strlen(text));
    std::memcpy(field.text, text, field.length);
}

sFrameContent Receiver(const char* type, const char* serial, const char* firmware)
{
    sFrameContent records;
    records.hasStation = true;
    records.stationId = 7;
    records.hasDescriptor = true;
    records.hasReceiver = true;
    SetText(records.antenna, "ANT-ONE NONE");
    SetText(records.receiver, type);
    SetText(records.receiverSerial, serial);
    SetText(records.firmware, firmware);
    return records;
}

TEST_F(StreamContentTest, ABaseThatMovesOrChangesItsReceiverGivesOneEventEach)
{
    // A point on the equator at the prime meridian, 100 m up.
    const double a = 6378137.0;
    for (int n = 0; n < 3; ++n)
        content.OnContent(Key(1005), ReferencePoint(a + 100.0, 0.0, 0.0), At(n));
    content.OnContent(Key(1005), ReferencePoint(a + 100.0, 0.00004, 0.0), At(3));  // rounding, not a move
    content.OnContent(Key(1005), ReferencePoint(a + 100.0, 25.0, 0.0), At(4));
    content.OnContent(Key(1005), ReferencePoint(a + 100.0, 25.0, 0.0), At(5));
    content.OnContent(Key(1033), Receiver("RX-1", "S1", "1.0"), At(6));
    content.OnContent(Key(1033), Receiver("RX-1", "S1", "1.0"), At(36));
    content.OnContent(Key(1033), Receiver("RX-1", "S1", "1.1"), At(66));
    content.OnContent(Key(1033), Receiver("RX-2", "S9", "4.2"), At(96));

    std::vector<std::string> what;
    for (const sLinkEvent& event : events) {
        EXPECT_EQ(event.kind, eLinkEventKind::StationChanged);
        what.push_back(event.what);
    }
    EXPECT_EQ(what, (std::vector<std::string>{"position", "firmware", "receiver"}));

    content.SetRoverPosition(0.0, 0.0, 0.0);  // on the ellipsoid below the base
    const sContentSnapshot snapshot = content.Snapshot();
    ASSERT_EQ(snapshot.stations.size(), 1u);
    const sStationFigures& station = snapshot.stations[0];
    EXPECT_EQ(station.frames, 10u);
    EXPECT_NEAR(station.latitude, 0.0, 1e-9);
    EXPECT_NEAR(station.longitude, std::atan2(25.0, a + 100.0) * 180.0 / M_PI, 1e-9);
    EXPECT_EQ(station.receiver, "RX-2");
    EXPECT_EQ(station.firmware, "4.2");
    EXPECT_EQ(station.antenna, "ANT-ONE NONE");
    EXPECT_NEAR(station.baselineM, std::hypot(100.0, 25.0), 1e-3);

    // A GGA position's altitude is above the geoid: the rover is taken at the base's height.
    content.SetRoverPosition(0.0, 0.0, std::nullopt);
    EXPECT_NEAR(content.Snapshot().stations[0].baselineM, 25.0, 1e-3);
}

TEST_F(StreamContentTest, ASwappedBaseIsAnEventAndInterleavedBasesAreMixed)
{
    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 1.0, false, 8, 7), At(1.1));
    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 2.0, false, 8, 9), At(2.1));
    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 3.0, false, 8, 9), At(3.1));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_STREQ(events[0].what, "station");
    EXPECT_EQ(events[0].stationId, 9u);
    EXPECT_FALSE(content.Snapshot().mixedStations);

    content.OnContent(Key(1074), Msm(Gnss::GPS, kUnixBase + 4.0, false, 8, 7), At(4.1));
    EXPECT_TRUE(content.Snapshot().mixedStations);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(StreamContentTest, ResetForgetsEverything)
{
    SendEpochs(3, 0.1, {});
    content.Reset();
    EXPECT_TRUE(content.Snapshot().Empty());
}

}  // namespace
}  // namespace TolvarRT
