// The position window's model: positions from two NMEA decoders, the CMR
// rate over the last minute, and the position log, on a hand-moved clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "manual_clock.h"
#include "nmea_sentence.h"
#include "position/position_monitor.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace {

using TolvarRT::CPositionMonitor;
using TolvarRT::TimeStamp;
using TolvarRT::testing::ManualClock;
using TolvarRT::testing::NmeaSentence;

const std::string kClosed = "\n ***** LOG FILE CLOSED *****";

// A GGA sentence at 12:34:56 for latitude/longitude given as NMEA fields.
std::string Gga(const std::string& latitude, const std::string& longitude, const char* time = "123456.00")
{
    return NmeaSentence(std::string("GPGGA,") + time + "," + latitude + "," + longitude +
                        ",1,8,1.2,100.500,M,-30.455,M,,");
}

class PositionMonitorTest : public ::testing::Test {
protected:
    PositionMonitorTest()
    {
        monitor.SetCountingStarted([this] { ++countingStarts; });
        monitor.SetCmrSound([this] { ++sounds; });
        monitor.Connect(&cmr, &primaryNmea, &commonNmea);
    }

    // Feeds a sentence to a decoder, stamped now.
    void Send(TolvarRT::CNMEAInputHandler& decoder, const std::string& sentence)
    {
        decoder.OnBytes(reinterpret_cast<const std::uint8_t*>(sentence.data()), std::uint32_t(sentence.size()), 0,
                        clock.Now());
    }
    // One CMR frame of the given type, stamped now.
    void Cmr(std::uint8_t type = 0)
    {
        const std::uint8_t data[6] = {0x02, std::uint8_t(type << 5), 0, 0, 0, 0};
        cmr.PublishCMRFrame(type, data, sizeof data, 0, clock.Now());
    }
    // count frames, one every interval seconds, the first one now.
    void CmrStream(int count, double interval)
    {
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                clock.Advance(interval);
            Cmr();
        }
    }

    ManualClock clock;
    TolvarRT::CDCCMRHandler cmr;
    TolvarRT::CNMEAInputHandler primaryNmea;
    TolvarRT::CNMEAInputHandler commonNmea;
    CPositionMonitor monitor{clock.Source()};
    int countingStarts = 0;
    int sounds = 0;
};

TEST_F(PositionMonitorTest, WithoutPositionsTheTextSaysSo)
{
    EXPECT_EQ(monitor.PositionText(), "Old or No Position" + kClosed);
    Send(primaryNmea, NmeaSentence("GPGSV,1,1,00"));
    EXPECT_EQ(monitor.PositionText(), "Old or No Position" + kClosed) << "a sentence without a position";
}

TEST_F(PositionMonitorTest, ThePositionTextShowsDegreesMinutesAgeAndTheSentence)
{
    const std::string gga = Gga("5230.0000,N", "00115.0000,W");
    Send(primaryNmea, gga);
    clock.Advance(2.5);
    EXPECT_EQ(monitor.PositionText(),
              "Position: Lat:    52\xBA 30.00000' Altitude: 100.500 meters \n"
              "(primary) Long:   -1\xBA 15.00000'   2.5 seconds old\n" +
                  gga.substr(0, gga.size() - 2) + kClosed);
}

TEST_F(PositionMonitorTest, TheFirstDegreeSouthOrWestKeepsItsSign)
{
    // Regression test for a latitude of -0.5 shown as 0 degrees 30 minutes,
    // a northern position.
    const std::pair<double, const char*> cases[] = {{-0.5, "  -0"}, {0.5, "   0"},     {-33.25, " -33"},
                                                    {52.0, "  52"}, {-179.99, "-179"}, {0.0, "   0"}};
    for (const auto& [coordinate, text] : cases)
        EXPECT_EQ(CPositionMonitor::DegreesText(coordinate), text) << coordinate;

    Send(commonNmea, Gga("0030.0000,S", "03315.0000,W"));
    EXPECT_THAT(monitor.PositionText(),
                ::testing::StartsWith("Position: Lat:    -0\xBA 30.00000' Altitude: 100.500 meters \n"
                                      "(common)  Long:  -33\xBA 15.00000'"));
}

TEST_F(PositionMonitorTest, APositionAgesOutAtSixtySeconds)
{
    Send(primaryNmea, Gga("5230.0000,N", "00115.0000,W"));
    EXPECT_EQ(monitor.PositionText().find("seconds old"), std::string::npos) << "stamped in the same instant";
    clock.Advance(59.9);
    EXPECT_NE(monitor.PositionText().find("'   59.9 seconds old\n$GPGGA"), std::string::npos);
    clock.Advance(0.1);
    const std::string old = monitor.PositionText();
    EXPECT_NE(old.find("'   Old Position\n" + kClosed), std::string::npos) << old;
    EXPECT_EQ(monitor.SelectedSource(), nullptr);
    EXPECT_EQ(monitor.PrimarySource().OwnerView(), nullptr);
}

TEST_F(PositionMonitorTest, TheFresherSourceIsChosenAndKeptUntilItAgesOut)
{
    Send(commonNmea, Gga("5230.0000,N", "00115.0000,W"));
    clock.Advance(1.0);
    Send(primaryNmea, Gga("4000.0000,N", "10500.0000,W"));
    monitor.PositionText();
    EXPECT_EQ(monitor.SelectedSource(), &monitor.PrimarySource()) << "the later time stamp wins";

    // The common source gets newer; the selection stays.
    for (int i = 0; i < 59; ++i) {
        clock.Advance(1.0);
        Send(commonNmea, Gga("5230.0000,N", "00115.0000,W"));
        EXPECT_NE(monitor.PositionText().find("(primary)"), std::string::npos) << i;
    }
    clock.Advance(1.0);
    EXPECT_NE(monitor.PositionText().find("Old Position"), std::string::npos);
    EXPECT_NE(monitor.PositionText().find("(common) "), std::string::npos) << "chosen again at the next paint";
}

TEST_F(PositionMonitorTest, OnATieTheCommonSourceIsChosen)
{
    Send(commonNmea, Gga("5230.0000,N", "00115.0000,W"));
    Send(primaryNmea, Gga("4000.0000,N", "10500.0000,W"));
    EXPECT_NE(monitor.PositionText().find("\n(common)  Long:"), std::string::npos);
    EXPECT_EQ(monitor.CommonSource().OwnerView(), &monitor);

    monitor.ResetPerformance();
    EXPECT_EQ(monitor.SelectedSource(), nullptr) << "a reset lets the next paint choose again";
}

TEST_F(PositionMonitorTest, ASteadyOneHertzStreamRatesOneAndAFullMinuteHoldsSixtyOneFrames)
{
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now()), 0.0);
    CmrStream(11, 1.0);
    EXPECT_EQ(countingStarts, 1);
    // t = 0..10 in a window from -1 to 10: 11 frames over 11 s.
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now()), 1.0);
    CmrStream(111, 1.0);
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now()), 61.0 / 60.0);
    clock.Advance(0.5);
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now()), 60.0 / 60.0) << "the frame on the window's edge has left";
    EXPECT_EQ(countingStarts, 1);
}

TEST_F(PositionMonitorTest, ATenHertzStreamKeepsItsRate)
{
    // Regression test for arrivals written into a ring of 300 without a
    // check for a full ring: beyond 5 Hz the count wrapped.
    CmrStream(1800, 0.1);
    EXPECT_NEAR(monitor.CmrRate(clock.Now()), 10.0, 0.02);
    CmrStream(30 * 50, 0.02);  // then 50 Hz for half a minute
    EXPECT_NEAR(monitor.CmrRate(clock.Now()), (300.0 + 1500.0) / 60.0, 0.05);
}

TEST_F(PositionMonitorTest, AClockGoingBackStartsTheCountAgain)
{
    CmrStream(5, 1.0);
    EXPECT_TRUE(monitor.IsCounting());
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now() - ManualClock::Ticks(4.5)), 0.0) << "within the first second";
    EXPECT_TRUE(monitor.IsCounting());
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now() - ManualClock::Ticks(5.5)), 0.0);
    EXPECT_FALSE(monitor.IsCounting());
    Cmr();
    EXPECT_EQ(countingStarts, 2);
}

TEST_F(PositionMonitorTest, OnlyTypeZeroFramesAreCountedAndSounded)
{
    Cmr(1);
    Cmr(5);
    const std::uint8_t data[4] = {8, 0, 0, 0};
    cmr.PublishCMRWFrame(8, data, sizeof data, 0, clock.Now());
    EXPECT_FALSE(monitor.IsCounting());
    monitor.Tick();
    monitor.WithChart([](TolvarRT::CPerformancePlot& chart) { EXPECT_EQ(chart.LastIndex(), -1); });

    Cmr();
    EXPECT_EQ(sounds, 0) << "the sound is off";
    monitor.SetPlaySoundOnCmr(true);
    Cmr();
    Cmr(2);
    EXPECT_EQ(sounds, 1);
}

TEST_F(PositionMonitorTest, EveryTickWhileCountingAddsTheRateToTheChartUntilAReset)
{
    CmrStream(4, 1.0);
    clock.Advance(1.0);
    monitor.Tick();
    monitor.Tick();
    monitor.WithChart([](TolvarRT::CPerformancePlot& chart) {
        EXPECT_EQ(chart.LastIndex(), 1);
        EXPECT_EQ(chart.Label(0), "Last 80.0%") << "4 frames from -1 s to 4 s";
    });
    monitor.ResetPerformance();
    EXPECT_FALSE(monitor.IsCounting());
    EXPECT_DOUBLE_EQ(monitor.CmrRate(clock.Now()), 0.0);
    monitor.WithChart([](TolvarRT::CPerformancePlot& chart) { EXPECT_EQ(chart.LastIndex(), -1); });
}

class PositionLogTest : public PositionMonitorTest {
protected:
    std::string LogText() { return TolvarRT::testing::TempFolder::Contents(LogPath()); }
    std::string LogPath() { return folder.File("positions.txt"); }
    TolvarRT::testing::TempFolder folder;
};

TEST_F(PositionLogTest, TheSelectedSourceWritesEveryPositionWithThePerformance)
{
    ASSERT_TRUE(monitor.OpenPositionLog(LogPath()));
    EXPECT_FALSE(monitor.OpenPositionLog(LogPath())) << "one log at a time";
    Send(primaryNmea, Gga("5230.0000,N", "00115.0000,W"));
    EXPECT_EQ(LogText(), "") << "nothing before a source is chosen";
    EXPECT_NE(monitor.PositionText().find("\n LOGGING TO FILE"), std::string::npos);

    Send(primaryNmea, Gga("5230.0000,N", "00115.0000,W", "123457.50"));
    Send(commonNmea, Gga("4000.0000,N", "10500.0000,W"));
    CmrStream(11, 1.0);
    Send(primaryNmea, Gga("5230.0000,S", "00115.0000,E", "123507.00"));
    monitor.ClosePositionLog();
    EXPECT_EQ(LogText(),
              "52.500000, -1.250000, 100.500000, 0000/00/00, 12:34:57.5,  0.0\r\n"
              "-52.500000, 1.250000, 100.500000, 0000/00/00, 12:35:07.0, 100.0\r\n");
    EXPECT_NE(monitor.PositionText().find(kClosed), std::string::npos);
}

TEST_F(PositionLogTest, AGgkPositionCarriesItsDateAndALogThatCannotBeCreatedStaysClosed)
{
    ASSERT_TRUE(monitor.OpenPositionLog(LogPath()));
    Send(primaryNmea, NmeaSentence("PVND,GGK,102939.00,071226,5230.0000,N,00115.0000,W,3,09,1.5,EHT250.5,M"));
    monitor.PositionText();
    Send(primaryNmea, NmeaSentence("PVND,GGK,102940.00,071226,5230.0000,N,00115.0000,W,3,09,1.5,EHT250.5,M"));
    monitor.ClosePositionLog();
    EXPECT_EQ(LogText(), "52.500000, -1.250000, 250.500000, 2026/07/12, 10:29:40.0,  0.0\r\n");

    EXPECT_FALSE(monitor.OpenPositionLog(folder.File("missing/positions.txt")));
    EXPECT_FALSE(monitor.IsLogOpen());
}

// The three threads of a position window at once: CMR frames on the
// Listener's, positions with log lines on the NMEA port's, ticks and paints
// on the user interface's. Tap lock before monitor lock, never the reverse.
TEST(PositionMonitorThreadTest, FramesPositionsTicksAndPaintsRunTogether)
{
    TolvarRT::testing::TempFolder folder;
    TolvarRT::CDCCMRHandler cmr;
    TolvarRT::CNMEAInputHandler nmea;
    CPositionMonitor monitor;
    monitor.Connect(&cmr, &nmea, nullptr);
    ASSERT_TRUE(monitor.OpenPositionLog(folder.File("positions.txt")));
    std::atomic<bool> stop{false};
    std::thread frames([&] {
        const std::uint8_t data[6] = {0x02, 0, 0, 0, 0, 0};
        while (!stop.load())
            cmr.PublishCMRFrame(0, data, sizeof data, 0, TolvarRT::TimeStampNow());
    });
    std::thread positions([&] {
        const std::string gga = Gga("5230.0000,N", "00115.0000,W");
        while (!stop.load())
            nmea.OnBytes(reinterpret_cast<const std::uint8_t*>(gga.data()), std::uint32_t(gga.size()), 0,
                         TolvarRT::TimeStampNow());
    });
    int paints = 0;
    const bool logged = TolvarRT::testing::WaitUntil([&] {
        monitor.Tick();
        monitor.PositionText();
        if (++paints % 50 == 0)
            monitor.ResetPerformance();
        return paints > 200 && std::filesystem::file_size(folder.File("positions.txt")) > 0;
    });
    stop.store(true);
    frames.join();
    positions.join();
    EXPECT_TRUE(logged) << "the selected source writes its positions";
}

TEST(PositionMonitorSizeTest, TheChartTakesWhatTheTextLeavesWithinHalfTheWidth)
{
    const struct {
        int width, height;
        unsigned chart;
    } cases[] = {{400, 150, 60}, {400, 400, 200}, {500, 300, 200}, {500, 90, 250}, {100, 50, 60}, {1000, 260, 160}};
    for (const auto& c : cases)
        EXPECT_EQ(CPositionMonitor::ChartHeightFor(c.width, c.height), c.chart) << c.width << "x" << c.height;
}

}  // namespace
