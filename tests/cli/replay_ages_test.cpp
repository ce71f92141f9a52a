// A recording of RTCM 3 corrections replayed days later gives the ages its
// frames had when they arrived: the replayed arrivals are read on the
// recording's own UTC, at its pace or faster, not as arrivals of today.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "bit_writer.h"
#include "cli/command_line_ui.h"
#include "cli/link_test.h"
#include "core/gnss_time.h"
#include "ports/recording/replay_session.h"
#include "ports/recording/time_tag_file.h"
#include "rtcm3_frame_builder.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace {

using TolvarRT::testing::TempFolder;

// 2026-12-06 00:00:00 UTC: days before any run of this test, so that an
// arrival read as now would make every age a clock fault.
constexpr double kOriginUnix = 1796515200.0;
constexpr double kGpsEpochUnix = 315964800.0;
constexpr int kEpochs = 6;

struct sTypeAges {
    unsigned type;
    double firstAgeS;  // of the first epoch's frame
    double stepS;      // added for each later epoch
};
const sTypeAges kTypes[] = {{1074, 0.300, 0.010}, {1094, 0.340, 0.005}};

std::vector<std::uint8_t> Framed(const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> frame{0xD3, std::uint8_t(payload.size() >> 8), std::uint8_t(payload.size())};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const std::uint32_t crc = TolvarRT::testing::rtcm3_reference::Crc24q(frame.data(), frame.size());
    for (int shift : {16, 8, 0})
        frame.push_back(std::uint8_t(crc >> shift));
    return frame;
}

// One epoch a second, each of its frames a chunk of its own arriving its age
// after the epoch, written as the recorder writes a side.
void WriteRecording(const std::string& dataPath)
{
    TolvarRT::sRecordingClock clock;
    clock.session = 0xA9E5;
    clock.unixSeconds = kOriginUnix;
    clock.date = TolvarRT::LocalDateAt(kOriginUnix);
    std::ofstream data(dataPath, std::ios::binary);
    std::ofstream tags(TolvarRT::TimeTagPathFor(dataPath), std::ios::binary);
    tags << TolvarRT::TimeTagHeader(clock);
    const int leap = TolvarRT::SystemLeapSeconds().gpsMinusUtc;
    std::uint64_t offset = 0;
    for (int epoch = 0; epoch < kEpochs; ++epoch) {
        const double epochS = 0.2 + epoch;  // after the origin
        const double towS = std::fmod(kOriginUnix + epochS + leap - kGpsEpochUnix, 604800.0);
        for (const sTypeAges& type : kTypes) {
            const bool last = &type == &kTypes[std::size(kTypes) - 1];
            const std::vector<std::uint8_t> frame =
                Framed(TolvarRT::testing::Msm4(type.type, std::uint32_t(std::llround(towS * 1000.0)), !last));
            const double arrivalS = epochS + type.firstAgeS + type.stepS * epoch;
            data.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(frame.size()));
            tags << TolvarRT::TimeTagLine({offset, std::llround(arrivalS * 1e9)});
            offset += frame.size();
        }
    }
    tags << TolvarRT::TimeTagEndLine(offset);
}

TEST(ReplayAgesTest, AReplayGivesTheAgesTheFramesHadWhenRecorded)
{
    TempFolder folder;
    const std::string dataPath = folder.File("listener.raw");
    WriteRecording(dataPath);
    for (const char* speed : {"", "::x8"}) {
        SCOPED_TRACE(std::string("replayed at ") + (*speed ? speed : "its own pace"));
        CMemorySettingsStore settings;
        cli::CCommandLineUi ui;
        ui.listener.port = "FILE:" + dataPath + speed;
        ui.listener.probe = false;
        CTolvarTestSuiteDoc document(settings, ui);
        std::string error;
        ASSERT_TRUE(cli::ConnectListener(document, ui, false, error)) << error;
        TolvarRT::CReplaySession::StartAll();
        const auto allAged = [&] {
            const TolvarRT::sContentSnapshot content = document.ListenerStatistics().ContentSnapshot();
            std::uint64_t counted = 0;
            for (const TolvarRT::sAgeFigures& ages : content.ages)
                counted += ages.ages.Count() + ages.clockFaults;
            return counted == kEpochs * std::size(kTypes);
        };
        ASSERT_TRUE(TolvarRT::testing::WaitUntil(allAged, std::chrono::seconds(30)));

        const TolvarRT::sContentSnapshot content = document.ListenerStatistics().ContentSnapshot();
        EXPECT_EQ(content.clock.noAgesReason, "");
        ASSERT_EQ(content.ages.size(), std::size(kTypes));
        for (std::size_t i = 0; i < std::size(kTypes); ++i) {
            const TolvarRT::sAgeFigures& ages = content.ages[i];
            SCOPED_TRACE(ages.name);
            EXPECT_EQ(ages.clockFaults, 0u);
            EXPECT_EQ(ages.ages.Count(), std::uint64_t(kEpochs));
            const double meanS = kTypes[i].firstAgeS + kTypes[i].stepS * (kEpochs - 1) / 2.0;
            EXPECT_NEAR(ages.MeanS() * 1000.0, meanS * 1000.0, 0.01);
            EXPECT_NEAR(ages.ages.Quantile(0.5) * 1000.0, meanS * 1000.0, 10.0) << "within the histogram's bucket";
        }
        document.Shutdown();
    }
}

}  // namespace
