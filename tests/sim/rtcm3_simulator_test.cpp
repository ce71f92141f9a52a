// The fake RTCM v3 generator's thread on the real clock: what leaves the port
// is what the statistics see, the epochs fall on the rate's ticks of the
// host's GNSS time, and an epoch limit ends the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <vector>

#include "core/gnss_time.h"
#include "fake_byte_pipe.h"
#include "sim/rtcm3_simulator.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct sPublished {
    unsigned type;
    Bytes payload;
    bool operator==(const sPublished&) const = default;
};

class FrameRecorder : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    ~FrameRecorder() override { Unsubscribe(); }
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(lock);
        frames.push_back({type, Bytes(data, data + length)});
    }
    std::vector<sPublished> Frames()
    {
        std::lock_guard<std::mutex> guard(lock);
        return frames;
    }

private:
    std::mutex lock;
    std::vector<sPublished> frames;
};

std::uint32_t EpochField(const Bytes& payload)
{
    return (std::uint32_t(payload[3]) << 22) | (std::uint32_t(payload[4]) << 14) | (std::uint32_t(payload[5]) << 6) |
           (payload[6] >> 2);
}

double UnixNow()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class RTCM3SimulatorTest : public ::testing::Test {
protected:
    RTCM3SimulatorTest()
    {
        handler.Subscribe(&pipe);
        published.Subscribe(&simulator);
    }
    ~RTCM3SimulatorTest() override
    {
        simulator.Stop();
        handler.Unsubscribe();
    }

    CLogPipe logPipe;
    testing::FakeBytePipe pipe;
    CRTCM3InputHandler handler{&logPipe};
    CRTCM3Simulator simulator{&handler, &logPipe};
    FrameRecorder published;
};

TEST_F(RTCM3SimulatorTest, SendsAndPublishesTheSameFramesOnTheRatesTicks)
{
    sRTCM3SimSettings settings;
    settings.epochsPerSecond = 5;
    settings.satellites = {6, 0, 0, 4};
    ASSERT_TRUE(simulator.SetSettings(settings));
    ASSERT_TRUE(simulator.Start(3));
    ASSERT_TRUE(testing::WaitUntil([&] { return !simulator.IsRunning(); })) << "the limit ends the run";
    EXPECT_EQ(simulator.GetSentCount(), 3);
    const double hostGpsMs = GpsWeekMsAt(UnixNow(), SystemLeapSeconds().gpsMinusUtc);

    const std::vector<sPublished> frames = published.Frames();
    ASSERT_EQ(frames.size(), 2u + 3 * 2) << "1005 and 1033 first, then GPS and BeiDou each epoch";
    EXPECT_EQ(simulator.GetFrameCount(), long(frames.size()));
    EXPECT_EQ(frames[0].type, 1005u);
    EXPECT_EQ(frames[1].type, 1033u);
    std::uint32_t previous = 0;
    for (std::size_t i = 2; i < frames.size(); i += 2) {
        EXPECT_EQ(frames[i].type, 1074u);
        EXPECT_EQ(frames[i + 1].type, 1124u);
        const std::uint32_t gpsMs = EpochField(frames[i].payload);
        EXPECT_EQ(gpsMs % 200, 0u) << "on a tick of 5 Hz";
        EXPECT_EQ((gpsMs + kWeekMs - EpochField(frames[i + 1].payload)) % kWeekMs, 14000u) << "BDT is GPS - 14 s";
        EXPECT_LT(std::abs(AgeInPeriod(hostGpsMs, gpsMs, kWeekMs)), 3.0) << "the host's GPS time";
        if (i > 2) {
            EXPECT_EQ(gpsMs, previous + 200) << "one epoch after the other";
        }
        previous = gpsMs;
    }

    // A receiving decoder cuts what left the port back into the same frames.
    testing::FakeBytePipe receiving;
    CRTCM3InputHandler receiver;
    receiver.Subscribe(&receiving);
    FrameRecorder decoded;
    decoded.Subscribe(&receiver);
    receiving.Feed(pipe.sent, 13);
    EXPECT_EQ(decoded.Frames(), frames);
    EXPECT_EQ(receiving.LostTotal(), 0u);
    receiver.Unsubscribe();
}

TEST_F(RTCM3SimulatorTest, RefusesWhatItCannotDo)
{
    sRTCM3SimSettings settings;
    settings.msm = 5;
    EXPECT_FALSE(simulator.SetSettings(settings));
    EXPECT_EQ(simulator.Settings().msm, 4u) << "unchanged";
    EXPECT_TRUE(simulator.Stop()) << "nothing to stop";
    ASSERT_TRUE(simulator.Start());
    EXPECT_FALSE(simulator.Start()) << "one thread at a time";
    EXPECT_TRUE(simulator.Stop());
    EXPECT_FALSE(simulator.IsRunning());

    CRTCM3Simulator unattached(nullptr, &logPipe);
    EXPECT_FALSE(unattached.Start());
}

}  // namespace
}  // namespace TolvarRT
