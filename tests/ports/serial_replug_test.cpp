// The serial port across an adapter that is pulled and plugged in again: the
// port stays open, its thread sleeps while the device is gone, and the bytes
// of the returned device reach the same owner. The reader thread's CPU time,
// not the wall clock, shows that it does not spin.
#include <gtest/gtest.h>

#include <termios.h>
#include <time.h>

#include <chrono>
#include <string>

#include "log_recorder.h"
#include "pluggable_device.h"
#include "port_collector.h"
#include "ports/serial/threaded_commport.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Buffer;
using testing::Bytes;
using testing::Pattern;
using testing::WaitUntil;

double CpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

class SerialReplugTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.IsValid());
        port.SetLogPipe(&logPipe);
    }
    void OpenAndStart()
    {
        PortSettings line;
        line.baudRate = 115200;
        line.readTimeout = 100;  // idle wake-ups would show as CPU time
        ASSERT_TRUE(port.Open(device.Path().c_str()));
        ASSERT_TRUE(port.Configure(line));
        port.StartThread();
    }
    std::string GoneLine() const { return device.Path() + ": the device has gone; it is looked for every 1000 ms"; }
    std::string BackLine() const { return device.Path() + ": the device is back"; }

    testing::PluggableDevice device;
    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    testing::PortCollector received;
    tThreadedCommport port{&received, &testing::PortCollector::OnBytes, 0, 0};
};

TEST_F(SerialReplugTest, APulledAdapterIsOpenedAgainWhenItReturnsAndItsBytesGoOnToTheSameOwner)
{
    OpenAndStart();
    // Every byte value, so a line that came back cooked would show.
    Bytes expected = Pattern(3000, 1);
    ASSERT_TRUE(device.Pty().Write(expected));
    ASSERT_TRUE(received.WaitFor(expected.size()));
    const clockid_t reader = received.DeliveringThreadClock();

    for (unsigned plug = 1; plug <= 2; ++plug) {
        SCOPED_TRACE("plugged again " + std::to_string(plug) + " times");
        const double busyBefore = CpuSeconds(reader);
        const std::uint64_t attemptsBefore = port.ReopenAttempts();
        const auto pulledAt = std::chrono::steady_clock::now();
        device.Pull();
        ASSERT_TRUE(WaitUntil([&] { return !port.DevicePresent(); }));
        port.QueueWrite(Buffer(Pattern(100)));  // to no device: dropped
        ASSERT_TRUE(WaitUntil([&] { return port.ReopenAttempts() >= attemptsBefore + 2; }));
        const double busy = CpuSeconds(reader) - busyBefore;
        const double gapSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pulledAt).count();
        // A thread that spins is busy most of the two seconds or more.
        EXPECT_LT(busy, 0.2);
        RecordProperty("reader_cpu_ms_over_gap_" + std::to_string(plug), std::to_string(busy * 1000));
        RecordProperty("gap_ms_" + std::to_string(plug), std::to_string(gapSeconds * 1000));
        // Once a second, late rather than early.
        EXPECT_LE(double(port.ReopenAttempts() - attemptsBefore), gapSeconds + 1);
        EXPECT_TRUE(port.IsOpen());

        ASSERT_TRUE(device.Plug());
        ASSERT_TRUE(WaitUntil([&] { return port.DevicePresent(); }));
        const Bytes after = Pattern(2000, 7 + plug);
        ASSERT_TRUE(device.Pty().Write(after));
        expected.insert(expected.end(), after.begin(), after.end());
        ASSERT_TRUE(received.WaitFor(expected.size()));
        EXPECT_EQ(received.Received(), expected);
        EXPECT_EQ(log.Count(GoneLine()), plug);
        EXPECT_EQ(log.Count(BackLine()), plug);

        // Writes go to the returned device, nothing of the gap with them.
        const Bytes reply = Pattern(64, plug);
        port.QueueWrite(Buffer(reply));
        EXPECT_EQ(device.Pty().Read(reply.size()), reply);
    }
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialReplugTest, ClosingWhileTheDeviceIsGoneEndsTheWaitAtOnce)
{
    // The next attempt far away: only the stop signal can end the wait in time.
    port.SetReopenPeriod(1h);
    OpenAndStart();
    device.Pull();
    ASSERT_TRUE(WaitUntil([&] { return !port.DevicePresent(); }));
    const auto closing = std::chrono::steady_clock::now();
    EXPECT_TRUE(port.Close());
    EXPECT_LT(std::chrono::steady_clock::now() - closing, tThreadedCommport::kThreadWait / 2);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReopenAttempts(), 0u);
    EXPECT_FALSE(port.Close());
    // The port opens again on the device once it is back.
    ASSERT_TRUE(device.Plug());
    EXPECT_TRUE(port.Open(device.Path().c_str()));
    EXPECT_TRUE(port.Close());
}

TEST_F(SerialReplugTest, SettingsGivenWhileTheDeviceIsGoneApplyWhenItReturns)
{
    OpenAndStart();
    device.Pull();
    ASSERT_TRUE(WaitUntil([&] { return !port.DevicePresent(); }));
    PortSettings line;
    line.baudRate = 9600;
    line.parity = 1;  // the pseudo-terminal keeps PARODD and INPCK of the parity settings
    line.flowControl = 1;
    EXPECT_FALSE(port.Configure(line));
    EXPECT_FALSE(port.FailureReason().empty());
    ASSERT_TRUE(device.Plug());
    ASSERT_TRUE(WaitUntil([&] { return port.DevicePresent(); }));
    termios settings{};
    ASSERT_EQ(tcgetattr(device.Pty().Master(), &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), speed_t(B9600));
    EXPECT_EQ(settings.c_cflag & (PARODD | CRTSCTS), tcflag_t(PARODD | CRTSCTS));
    EXPECT_EQ(settings.c_iflag & INPCK, tcflag_t(INPCK));
}

}  // namespace
}  // namespace TolvarRT
