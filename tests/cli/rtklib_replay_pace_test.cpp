// A recording made by RTKLIB's str2str from a paced real capture, replayed
// through FILE:PATH::T: every chunk comes at its recorded time, within 5 ms,
// at x1 and, four times sooner, at x4.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "ports/recording/file_replay_port.h"
#include "ports/recording/recorded_side.h"
#include "str2str_recording.h"

namespace {

using cli::testing::Bytes;
using Clock = std::chrono::steady_clock;

// The replay port's chunks with the moment each was delivered.
struct TimedChunks {
    static void OnBytes(void* owner, const std::uint8_t* data, std::uint32_t length)
    {
        auto* self = static_cast<TimedChunks*>(owner);
        std::lock_guard<std::mutex> guard(self->lock);
        self->arrivals.push_back(Clock::now());
        self->bytes.insert(self->bytes.end(), data, data + length);
    }
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;
    Bytes bytes;
};

class Str2strReplayPaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new TolvarRT::testing::TempFolder;
        recording = new cli::testing::sPacedRecording(
            cli::testing::RecordPacedCapture(*folder, 10, std::chrono::milliseconds(80)));
    }
    static void TearDownTestSuite()
    {
        delete recording;
        delete folder;
    }

    // The gaps between the chunks a replay at speed delivers, against the
    // recorded gaps divided by divisor.
    static void ExpectTheRecordedPace(const std::string& speed, double divisor)
    {
        ASSERT_EQ(recording->error, "");
        TolvarRT::sRecordedSide side;
        std::string error;
        ASSERT_TRUE(TolvarRT::ReadRecordedSide(recording->path, side, error)) << error;
        ASSERT_GE(side.chunks.size(), 10u);
        TimedChunks chunks;
        TolvarRT::CFileReplayPort port{&chunks, &TimedChunks::OnBytes, 0, 0};
        ASSERT_TRUE(port.Open(("FILE:" + recording->path + "::T" + speed).c_str())) << port.FailureReason();
        TolvarRT::CReplaySession::StartAll();
        port.StartThread();
        ASSERT_TRUE(TolvarRT::testing::WaitUntil([&] { return port.Finished(); }));
        std::lock_guard<std::mutex> guard(chunks.lock);
        EXPECT_EQ(chunks.bytes, recording->fed);
        EXPECT_EQ(cli::testing::Rtcm3Frames(chunks.bytes).size(), recording->frames);
        ASSERT_EQ(chunks.arrivals.size(), side.chunks.size());
        for (std::size_t i = 1; i < side.chunks.size(); ++i) {
            const double recorded =
                double(side.tags.tags[i].nanoseconds - side.tags.tags[i - 1].nanoseconds) / 1e6 / divisor;
            const double played =
                std::chrono::duration<double, std::milli>(chunks.arrivals[i] - chunks.arrivals[i - 1]).count();
            EXPECT_NEAR(played, recorded, 5.0) << "between chunks " << i - 1 << " and " << i;
        }
    }

    static TolvarRT::testing::TempFolder* folder;
    static cli::testing::sPacedRecording* recording;
};

TolvarRT::testing::TempFolder* Str2strReplayPaceTest::folder = nullptr;
cli::testing::sPacedRecording* Str2strReplayPaceTest::recording = nullptr;

TEST_F(Str2strReplayPaceTest, AtItsOwnPaceEveryChunkComesAtItsRecordedTime)
{
    ExpectTheRecordedPace("", 1.0);
}

TEST_F(Str2strReplayPaceTest, FourTimesFasterTheRecordedGapsKeepTheirProportions)
{
    ExpectTheRecordedPace("::x4", 4.0);
}

}  // namespace
