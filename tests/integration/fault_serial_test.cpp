// A serial adapter pulled in the middle of a frame and plugged in again while
// a Listener decodes its RTCM v3: the port finds the device again by itself,
// the same decoder and statistics go on counting, and only the frame the pull
// cut is missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_recorder.h"
#include "pluggable_device.h"
#include "rtcm3_endpoint.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using testing::Bytes;
using testing::NumberedRtcm3Frame;
using testing::NumberedRtcm3Frames;
using testing::Rtcm3Endpoint;
using testing::WaitUntil;

TEST(FaultSerialTest, AnAdapterPulledMidFrameAndPluggedAgainCostsOnlyTheFrameItCut)
{
    testing::PluggableDevice device;
    ASSERT_TRUE(device.IsValid());
    Rtcm3Endpoint listener;
    testing::LogRecorder log(&listener.logPipe, kLogBasic);
    ASSERT_TRUE(listener.pipe.OpenPort({device.Path(), 115200}));

    const Bytes before = NumberedRtcm3Frames(0, 10);
    ASSERT_TRUE(device.Pty().Write(before));
    const Bytes cut = NumberedRtcm3Frame(10);
    ASSERT_TRUE(device.Pty().Write(Bytes(cut.begin(), cut.begin() + 9)));
    ASSERT_TRUE(WaitUntil([&] { return listener.bytes.Total() == before.size() + 9; }));
    device.Pull();
    ASSERT_TRUE(WaitUntil(
        [&] { return log.Count(device.Path() + ": the device has gone; it is looked for every 1000 ms") == 1; }));

    ASSERT_TRUE(device.Plug());
    ASSERT_TRUE(WaitUntil([&] { return log.Count(device.Path() + ": the device is back") == 1; }));
    ASSERT_TRUE(device.Pty().Write(NumberedRtcm3Frames(11, 25)));
    ASSERT_TRUE(listener.WaitForFrames(24));
    std::vector<unsigned> numbers;
    for (unsigned number = 0; number < 25; ++number)
        if (number != 10)
            numbers.push_back(number);
    EXPECT_EQ(listener.frames.Payloads(), Rtcm3Endpoint::Expected(numbers));
    EXPECT_EQ(listener.CountedFrames(), 24u);
    EXPECT_TRUE(listener.pipe.IsPortOpen());
}

}  // namespace
}  // namespace TolvarRT
