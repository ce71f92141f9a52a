// The threaded serial port on pseudo-terminals: line set-up, traffic both ways,
// the order of queued writes, closing and purging with a full queue, idle
// lines and hang-ups. Time is only ever bounded generously.
#include <gtest/gtest.h>

#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "case_name.h"
#include "log_recorder.h"
#include "open_failures.h"
#include "port_collector.h"
#include "ports/serial/threaded_commport.h"
#include "pty_pair.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Buffer;
using testing::Bytes;
using testing::Pattern;

PortSettings Line(std::uint32_t baudRate, std::uint32_t readTimeout = 4000)
{
    PortSettings settings;
    settings.baudRate = baudRate;
    settings.readTimeout = readTimeout;
    return settings;
}

class ThreadedCommportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.IsValid()); }

    void OpenAndStart(const PortSettings& settings = Line(115200))
    {
        ASSERT_TRUE(port.Open(pty.Path()));
        ASSERT_TRUE(port.Configure(settings));
        port.StartThread();
    }

    // Queues a write the pseudo-terminal cannot take whole while the test
    // does not read the master, and waits until it has begun.
    void StallAWrite(const Bytes& big)
    {
        port.QueueWrite(Buffer(big));
        ASSERT_TRUE(pty.WaitReadable(10s));
    }

    testing::PtyPair pty;
    testing::PortCollector received;
    tThreadedCommport port{&received, &testing::PortCollector::OnBytes, 0, 0};
};

TEST_F(ThreadedCommportTest, OpenFailsOnAnOpenPortWithoutTouchingItAndOnADeviceInUse)
{
    testing::PtyPair other;
    tThreadedCommport second(nullptr, nullptr, 0, 0);
    OpenAndStart();
    EXPECT_FALSE(second.Open(pty.Path()));
    // TIOCEXCL refuses a user, the lock refuses root: the same words.
    EXPECT_EQ(second.FailureReason(), "in use by another program");
    EXPECT_FALSE(port.Open(other.Path()));
    EXPECT_FALSE(port.Open(pty.Path()));
    EXPECT_EQ(port.FailureReason(), "already open");
    EXPECT_EQ(port.Name(), pty.SlavePath());
    port.QueueWrite(Buffer(Pattern(100)));
    EXPECT_EQ(pty.Read(100), Pattern(100));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(second.Open(pty.Path()));
    EXPECT_EQ(second.FailureReason(), "");
}

TEST_F(ThreadedCommportTest, NamesThatAreNoSerialDeviceLeaveThePortClosedAndSayWhy)
{
    char regular[] = "/tmp/tolvar-not-a-tty-XXXXXX";
    const int file = mkstemp(regular);
    ASSERT_GE(file, 0);
    close(file);
    testing::ExpectOpenFailures(port, {
                                          {"", "not a serial port name"},
                                          {"COM0", "not a serial port name"},
                                          {"/nonexistent/ttyUSB0", "No such file or directory"},
                                          {"ttyNoSuchPort", "No such file or directory"},
                                          {"/dev/null", "not a serial device"},
                                          {regular, "not a serial device"},
                                      });
    unlink(regular);
}

struct LineCase {
    PortSettings settings;
    speed_t speed;
    tcflag_t controlBits;  // within kVisibleBits
};

// A pseudo-terminal forces 8 data bits without parity; the other framing bits
// and the input parity check show what the port asked for.
constexpr tcflag_t kVisibleBits = CSTOPB | PARODD | CMSPAR | CRTSCTS;

TEST_F(ThreadedCommportTest, ConfiguresARawLine)
{
    const LineCase cases[] = {
        {{300, 0, 8, 0, 0, 0, 1000}, B300, 0},
        {{2400, 2, 8, 0, 0, 0, 1000}, B2400, 0},
        {{9600, 1, 7, 2, 0, 0, 1000}, B9600, PARODD | CSTOPB},
        {{19200, 0, 5, 1, 0, 0, 1000}, B19200, CSTOPB},
        {{57600, 3, 8, 0, 0, 0, 1000}, B57600, PARODD | CMSPAR},
        {{115200, 0, 8, 0, 1, 0, 1000}, B115200, CRTSCTS},
        {{230400, 0, 8, 0, 2, 0, 1000}, B230400, CRTSCTS},
        {{460800, 0, 8, 0, 0, 0, 1000}, B460800, 0},
        {{921600, 2, 8, 0, 0, 0, 1000}, B921600, 0},
        {{250000, 0, 8, 0, 0, 0, 1000}, CBAUDEX, 0},  // no code of its own
    };
    ASSERT_TRUE(port.Open(pty.Path()));
    for (const LineCase& row : cases) {
        SCOPED_TRACE(row.settings.baudRate);
        ASSERT_TRUE(port.Configure(row.settings));
        termios line{};
        ASSERT_EQ(tcgetattr(pty.Master(), &line), 0);  // the slave's settings
        EXPECT_EQ(cfgetospeed(&line), row.speed);
        EXPECT_EQ(line.c_cflag & kVisibleBits, row.controlBits);
        EXPECT_EQ(line.c_iflag & INPCK, row.settings.parity != 0 ? tcflag_t(INPCK) : 0u);
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(port.Settings().baudRate, row.settings.baudRate);
    }
}

TEST_F(ThreadedCommportTest, RefusesLinesNoUartHasAndAnyBeforeOpenAndSaysWhy)
{
    const struct {
        PortSettings settings;
        const char* reason;
    } cases[] = {
        // Speed 0 would hang up the line.
        {{0, 0, 8, 0, 0, 0, 1000}, "the device does not take 0 baud"},
        {{9600, 5, 8, 0, 0, 0, 1000}, "unsupported framing: parity code 5"},
        {{9600, 0, 9, 0, 0, 0, 1000}, "unsupported framing: 9 data bits"},
        {{9600, 0, 4, 0, 0, 0, 1000}, "unsupported framing: 4 data bits"},
        {{9600, 0, 8, 3, 0, 0, 1000}, "unsupported framing: stop-bit code 3"},
        {{9600, 0, 8, 1, 0, 0, 1000}, "unsupported framing: 1.5 stop bits need 5 data bits"},
    };
    EXPECT_FALSE(port.Configure(Line(9600)));
    EXPECT_EQ(port.FailureReason(), "not open");
    EXPECT_EQ(port.Settings().baudRate, 0u);  // not kept
    EXPECT_EQ(port.Settings().readTimeout, 0u);
    EXPECT_FALSE(port.Close());

    ASSERT_TRUE(port.Open(pty.Path()));
    for (const auto& row : cases) {
        EXPECT_FALSE(port.Configure(row.settings)) << row.reason;
        EXPECT_EQ(port.FailureReason(), row.reason);
    }
    EXPECT_TRUE(port.Configure(Line(9600)));
    EXPECT_EQ(port.FailureReason(), "");
}

class BytesFlowTest : public ThreadedCommportTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(BytesFlowTest, BothWays)
{
    OpenAndStart(Line(GetParam()));
    port.QueueWrite(Buffer(Pattern(3000, 1)));
    EXPECT_EQ(pty.Read(3000), Pattern(3000, 1));
    ASSERT_TRUE(pty.Write(Pattern(5000, 2)));
    ASSERT_TRUE(received.WaitFor(5000));
    EXPECT_EQ(received.Received(), Pattern(5000, 2));
}

INSTANTIATE_TEST_SUITE_P(Rates, BytesFlowTest, ::testing::Values(9600u, 38400u, 115200u, 460800u),
                         [](const auto& info) { return "baud_" + std::to_string(info.param); });

TEST_F(ThreadedCommportTest, QueuedBuffersFollowTheWriteInProgressAndFirstGoesFirst)
{
    OpenAndStart();
    const Bytes big = Pattern(512 * 1024, 3), second = Pattern(700, 4), third = Pattern(900, 5),
                urgent = Pattern(300, 6);
    StallAWrite(big);
    port.QueueWrite(Buffer(second));
    port.QueueWrite(Buffer(third));
    port.QueueWriteFirst(Buffer(urgent));

    Bytes expected = big;
    for (const Bytes* next : {&urgent, &second, &third})
        expected.insert(expected.end(), next->begin(), next->end());
    EXPECT_EQ(pty.Read(expected.size()), expected);
}

TEST_F(ThreadedCommportTest, QueueWriteFirstGoesAheadOfBuffersNotYetStarted)
{
    ASSERT_TRUE(port.Open(pty.Path()));
    ASSERT_TRUE(port.Configure(Line(115200)));
    port.QueueWrite(Buffer({'b'}));
    port.QueueWrite(Buffer({'c'}));
    port.QueueWriteFirst(Buffer({'a'}));
    port.StartThread();
    EXPECT_EQ(pty.Read(3), (Bytes{'a', 'b', 'c'}));
}

TEST_F(ThreadedCommportTest, CloseWritesNoneOfTheQueuedBuffers)
{
    OpenAndStart();
    StallAWrite(Bytes(512 * 1024, 0x00));
    port.QueueWrite(Buffer(Bytes(100, 0xFF)));
    port.QueueWriteFirst(Buffer(Bytes(100, 0xFF)));
    EXPECT_TRUE(port.Close());
    const Bytes seen = pty.Read(SIZE_MAX, 300ms);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 0xFF), 0);
}

TEST_F(ThreadedCommportTest, PurgeDropsTheWriteInProgressAndEverythingQueued)
{
    OpenAndStart();
    StallAWrite(Bytes(512 * 1024, 0x00));
    port.QueueWrite(Buffer(Bytes(100, 0xFF)));
    port.Purge(kPurgeTxAbort | kPurgeTxClear);
    port.QueueWrite(Buffer({'e', 'n', 'd'}));
    // Whatever the driver took before the purge may still come, then the
    // new buffer whole.
    Bytes seen;
    while (seen.size() < 3 || !std::equal(seen.end() - 3, seen.end(), "end")) {
        const Bytes more = pty.ReadSome();
        ASSERT_FALSE(more.empty());
        seen.insert(seen.end(), more.begin(), more.end());
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end() - 3, 0x00), std::ptrdiff_t(seen.size() - 3));
}

// Waits for a log text that another thread writes.
bool WaitForLine(const testing::LogRecorder& log, const std::string& line)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (log.Count(line) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

TEST_F(ThreadedCommportTest, ADeviceThatTakesNothingFillsTheQueueOnlyToItsBoundAndTheDropsAreLoggedOnce)
{
    CLogPipe logPipe;
    testing::LogRecorder log(&logPipe, kLogBasic);
    port.SetLogPipe(&logPipe);
    // 9600 baud: a few seconds of it are a few kilobytes. Behind a write the
    // pseudo-terminal cannot take while the master reads nothing, the queue
    // is offered far more.
    OpenAndStart(Line(9600));
    const Bytes stalled = Pattern(512 * 1024, 7);
    StallAWrite(stalled);
    constexpr std::uint32_t kWrites = 4000, kSize = 100;
    const auto write = [&](std::uint32_t n) {
        Bytes bytes = Pattern(kSize, n);
        bytes[0] = std::uint8_t(n >> 8);
        bytes[1] = std::uint8_t(n);
        return bytes;
    };
    for (std::uint32_t n = 0; n < kWrites; ++n)
        port.QueueWrite(Buffer(write(n)));
    const std::uint64_t dropped = port.DroppedWrites();
    ASSERT_GT(dropped, 0u);
    ASSERT_LT(dropped, kWrites);
    EXPECT_EQ(log.Lines().size(), 1u) << "one line as the dropping begins";

    // What was taken comes out whole and in order, the first writes first.
    const std::size_t kept = (kWrites - dropped) * kSize;
    ASSERT_EQ(pty.Read(stalled.size()), stalled);
    const Bytes out = pty.Read(kept);
    ASSERT_EQ(out.size(), kept);
    std::uint32_t previous = 0;
    for (std::size_t at = 0; at < out.size(); at += kSize) {
        const std::uint32_t n = std::uint32_t(out[at]) << 8 | out[at + 1];
        ASSERT_TRUE(at == 0 ? n == 0 : n > previous) << at;
        ASSERT_EQ(Bytes(out.begin() + std::ptrdiff_t(at), out.begin() + std::ptrdiff_t(at + kSize)), write(n));
        previous = n;
    }
    const std::string summary = pty.SlavePath() + ": " + std::to_string(dropped) + " writes (" +
                                std::to_string(dropped * kSize) + " bytes) were dropped while the write queue was full";
    ASSERT_TRUE(WaitForLine(log, summary)) << "the episode ends as the queue drains";

    port.QueueWrite(Buffer(write(kWrites)));
    EXPECT_EQ(pty.Read(kSize), write(kWrites));
    EXPECT_EQ(port.DroppedWrites(), dropped);
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST_F(ThreadedCommportTest, AnIdleLineDeliversNothingAndKeepsReading)
{
    OpenAndStart(Line(9600, 50));
    std::this_thread::sleep_for(500ms);  // several idle periods
    EXPECT_EQ(received.Chunks().size(), 0u);
    ASSERT_TRUE(pty.Write({'p', 'i', 'n', 'g'}));
    ASSERT_TRUE(received.WaitFor(4));
    EXPECT_EQ(received.Received(), (Bytes{'p', 'i', 'n', 'g'}));
}

TEST_F(ThreadedCommportTest, ABurstArrivesWholeInChunksOfAtMost1024Bytes)
{
    OpenAndStart(Line(460800));
    const Bytes burst = Pattern(1024 * 1024 + 17, 8);
    std::thread device([&] { EXPECT_TRUE(pty.Write(burst)); });
    EXPECT_TRUE(received.WaitFor(burst.size()));
    device.join();
    EXPECT_EQ(received.Received(), burst);
    EXPECT_LE(received.LargestChunk(), 1024u);
    EXPECT_GE(received.Chunks().size(), burst.size() / 1024);
}

TEST_F(ThreadedCommportTest, AHungUpLineNeitherSpinsNorClosesThePort)
{
    OpenAndStart(Line(115200, 100));
    ASSERT_TRUE(pty.Write({'x'}));
    ASSERT_TRUE(received.WaitFor(1));
    const clockid_t readerClock = received.DeliveringThreadClock();
    timespec before{}, after{};
    ASSERT_EQ(clock_gettime(readerClock, &before), 0);

    pty.CloseMaster();
    port.QueueWrite(Buffer(Pattern(10)));  // refused by the hung-up device
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(clock_gettime(readerClock, &after), 0);
    const double busySeconds = double(after.tv_sec - before.tv_sec) + 1e-9 * double(after.tv_nsec - before.tv_nsec);
    // A spinning thread would be busy for most of the 1.5 s.
    EXPECT_LT(busySeconds, 0.5);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.Close());
}

// A delivery the test holds inside the reader thread until it lets go.
struct HeldDelivery {
    static void OnBytes(void* owner, const std::uint8_t*, std::uint32_t)
    {
        auto* self = static_cast<HeldDelivery*>(owner);
        self->entered = true;
        while (!self->released)
            std::this_thread::yield();
        self->returned = true;
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    std::atomic<bool> returned{false};
};

// The reader thread uses the port object, so the destructor may not return
// while that thread is still inside a delivery, with a write queued or not.
TEST_F(ThreadedCommportTest, DestroyingARunningPortWaitsForItsThread)
{
    HeldDelivery held;
    auto running = std::make_unique<tThreadedCommport>(&held, &HeldDelivery::OnBytes, 0, 0);
    ASSERT_TRUE(running->Open(pty.Path()));
    ASSERT_TRUE(running->Configure(Line(9600)));
    running->StartThread();
    running->QueueWrite(Buffer(Pattern(64)));
    ASSERT_TRUE(pty.Write({'x'}));
    ASSERT_TRUE(testing::WaitUntil([&] { return held.entered.load(); }));

    std::atomic<bool> destroyed{false};
    bool deliveryEndedFirst = false;
    std::thread destroyer([&] {
        running.reset();
        deliveryEndedFirst = held.returned.load();
        destroyed = true;
    });
    // A destructor that detached its thread comes back at once.
    EXPECT_FALSE(testing::WaitUntil([&] { return destroyed.load(); }, 300ms));
    held.released = true;
    destroyer.join();
    EXPECT_TRUE(deliveryEndedFirst);
}

}  // namespace
}  // namespace TolvarRT
