// What the desktop shell computes without drawing: the chart's value of an
// interval, the canned sentence with its time and checksum, the stored window
// placement, the About text.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "app/about_text.h"
#include "app/canned_nmea.h"
#include "app/chart_value.h"
#include "app/memory_settings_store.h"
#include "app/window_placement.h"
#include "core/pipes.h"

namespace {

using namespace TolvarRT;

// Interval rates by (frame class, type); every other type has none.
class Rates {
public:
    Rates& Set(unsigned frameClass, unsigned type, double rate)
    {
        rates[{frameClass, type}] = rate;
        return *this;
    }
    IntervalRateLookup Lookup() const
    {
        return [this](unsigned type, unsigned frameClass) {
            const auto found = rates.find({frameClass, type});
            return found == rates.end() ? 0.0 : found->second;
        };
    }

private:
    std::map<std::pair<unsigned, unsigned>, double> rates;
};

TEST(ChartValueTest, TheFastestCorrectionStreamSetsTheValue)
{
    EXPECT_EQ(ChartValue(Rates().Lookup(), false), 0.0) << "nothing received";
    EXPECT_EQ(ChartValue(Rates().Set(kFrameClassCMR, 0, 1.0).Lookup(), true), 1.0) << "1 Hz CMR";
    EXPECT_EQ(ChartValue(Rates().Set(kFrameClassCMR, 0, 1.0).Set(kFrameClassRTCM3, 1004, 5.0).Lookup(), true), 5.0);
    EXPECT_EQ(ChartValue(Rates().Set(kFrameClassCMRW, 8, 2.0).Set(kFrameClassRTCM2, 1, 0.5).Lookup(), true), 2.0);
    EXPECT_EQ(ChartValue(Rates().Set(kFrameClassRTCM2, 9, 0.2).Lookup(), true), 0.2);
}

TEST(ChartValueTest, OtherTypesOfTheSameClassesDoNotCount)
{
    const Rates others = Rates()
                             .Set(kFrameClassCMR, 1, 9.0)
                             .Set(kFrameClassCMRW, 0, 9.0)
                             .Set(kFrameClassRTCM2, 3, 9.0)
                             .Set(kFrameClassRTCM3, 1005, 9.0)
                             .Set(kFrameClassNMEA, 10, 9.0)
                             .Set(kFrameClassSendTo, 0, 9.0)
                             .Set(kFrameClassATS, 0, 9.0);
    EXPECT_EQ(ChartValue(others.Lookup(), false), 0.0);
}

TEST(ChartValueTest, RawRtcm2ObservationsCountAsOneEpochInFour)
{
    EXPECT_DOUBLE_EQ(ChartValue(Rates().Set(kFrameClassRTCM2, 18, 2.0).Set(kFrameClassRTCM2, 19, 2.0).Lookup(), true),
                     1.0);
    EXPECT_DOUBLE_EQ(ChartValue(Rates().Set(kFrameClassRTCM2, 18, 2.0).Lookup(), true), 0.5);
}

TEST(ChartValueTest, GgkFixesCountOnlyWithoutARadio)
{
    const Rates fixes = Rates().Set(kFrameClassNMEA, 3, 10.0).Set(kFrameClassCMR, 0, 1.0);
    EXPECT_EQ(ChartValue(fixes.Lookup(), false), 10.0);
    EXPECT_EQ(ChartValue(fixes.Lookup(), true), 1.0);
}

std::string Checksum(const std::string& text)
{
    unsigned char sum = 0;
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        sum ^= static_cast<unsigned char>(text[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return hex;
}

TEST(CannedNmeaTest, ATemplateGetsTheTimeOfDayAndItsChecksum)
{
    const std::string canned = "$GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*";
    const std::string sent = CannedNmeaOutput(canned, {9, 5, 7});
    const std::string body = "$GPGGA,090507.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*";
    ASSERT_EQ(sent.size(), body.size() + 2);
    EXPECT_EQ(sent.substr(0, body.size()), body) << "the time's digits replaced, the fraction kept";
    EXPECT_EQ(sent.substr(body.size()), Checksum(body));
    // Upper-case digits whatever the sum: one with a letter in both places.
    EXPECT_EQ(CannedNmeaOutput("$GPGGA,000000*", {0, 0, 0}), "$GPGGA,000000*" + Checksum("$GPGGA,000000*"));
    EXPECT_EQ(Checksum("$GPGGA,000000*"), "7A");
}

TEST(CannedNmeaTest, AnythingButATemplateGoesOutUnchanged)
{
    const std::string byDefault = "$GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*5F";
    const char* unchanged[] = {
        byDefault.c_str(),
        "$gpgga,183409.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,*",  // the comparison is exact
        "$GPGSV,183409.00,4000.0*",
        "$GPGGA,183409.00,4000.0,N",  // no final "*"
        "$GPGGA*",                    // too short to hold a time
        "$GPGGA,1234*",
        "",
    };
    for (const char* text : unchanged)
        EXPECT_EQ(CannedNmeaOutput(text, {9, 5, 7}), text);
    EXPECT_EQ(CannedNmeaOutput("$GPGGA,123456*", {23, 59, 58}), "$GPGGA,235958*" + Checksum("$GPGGA,235958*"))
        << "the shortest template";
}

TEST(WindowPlacementTest, ARecordRoundTripsAsFortyFourLittleEndianBytes)
{
    sWindowPlacement placement;
    placement.flags = 2;
    placement.showState = sWindowPlacement::kShowMaximized;
    placement.left = -8;
    placement.top = 20;
    placement.right = 1024;
    placement.bottom = 0x01020304;
    // The offsets are pinned because settings written by earlier versions must
    // still be read: eleven 4-byte fields, the normal rectangle's left at
    // 4 * 7 = 28 and its bottom at 4 * 10 = 40 (0x01020304: low byte first).
    const auto bytes = EncodeWindowPlacement(placement);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[0], 44);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[8], sWindowPlacement::kShowMaximized);
    EXPECT_EQ(bytes[28], 0xF8) << "left, two's complement";
    EXPECT_EQ(bytes[31], 0xFF) << "-8's sign reaches the top byte";
    EXPECT_EQ(bytes[40], 0x04);
    EXPECT_EQ(bytes[43], 0x01);
    EXPECT_EQ(DecodeWindowPlacement(bytes), placement);
}

TEST(WindowPlacementTest, TheStoredPlacementComesBackShownNormallyWithoutFlags)
{
    CMemorySettingsStore settings;
    EXPECT_FALSE(ReadWindowPlacement(settings)) << "nothing stored";
    sWindowPlacement placement;
    placement.flags = 3;
    placement.showState = sWindowPlacement::kShowMaximized;
    placement.left = 10;
    placement.top = 20;
    placement.right = 810;
    placement.bottom = 620;
    ASSERT_TRUE(WriteWindowPlacement(settings, placement));
    EXPECT_EQ(settings.ReadBytes("Settings", "WindowPlacement")->size(), 44u);
    const auto restored = ReadWindowPlacement(settings);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->showState, sWindowPlacement::kShowNormal);
    EXPECT_EQ(restored->flags, 0u);
    EXPECT_EQ(restored->left, 10);
    EXPECT_EQ(restored->bottom, 620);

    placement.showState = sWindowPlacement::kShowMinimized;
    WriteWindowPlacement(settings, placement);
    EXPECT_EQ(ReadWindowPlacement(settings)->showState, sWindowPlacement::kShowNormal);
}

TEST(WindowPlacementTest, ABlockOfAnyOtherLengthIsIgnored)
{
    CMemorySettingsStore settings;
    auto bytes = EncodeWindowPlacement(sWindowPlacement{});
    for (std::size_t size : {0u, 1u, 40u, 43u, 45u, 88u}) {
        bytes.resize(size, 0);
        settings.WriteBytes("Settings", "WindowPlacement", bytes);
        EXPECT_FALSE(ReadWindowPlacement(settings)) << size << " bytes";
    }
}

// The version and build stamp as support staff ask users to read them out.
TEST(AboutTextTest, ShowsTheVersionWithTwoDecimalsAndTheBuildTime)
{
    EXPECT_EQ(AboutText("Mar 29 2007", "13:03:37"), "Tolvar Test Suite v0.72\nMar 29 2007 13:03:37");
}

}  // namespace
