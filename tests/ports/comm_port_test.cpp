// The serial device on its own: the read and write results a reader thread
// builds on, and a closed device refusing everything.
#include <gtest/gtest.h>

#include "ports/serial/comm_port.h"
#include "pty_pair.h"

namespace TolvarRT {
namespace {

using testing::Bytes;
using testing::Pattern;

class CommPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid());
        ASSERT_TRUE(port.Open(pty.Path()));
        PortSettings raw;
        raw.baudRate = 115200;
        ASSERT_TRUE(port.SetLineSettings(raw));
    }

    bool WaitDevice(short events)
    {
        pollfd wait{port.Fd(), events, 0};
        return poll(&wait, 1, 10000) == 1;
    }

    testing::PtyPair pty;
    CCommPort port;
};

TEST_F(CommPortTest, AClosedDeviceRefusesEverything)
{
    EXPECT_TRUE(port.Close());
    std::uint8_t buffer[16];
    std::uint32_t count = 99;
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(port.StartRead(buffer, sizeof buffer), CCommPort::kFailed);
    EXPECT_FALSE(port.ReadResult(count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(port.StartWrite(buffer, sizeof buffer), CCommPort::kFailed);
    EXPECT_FALSE(port.SetLineSettings(PortSettings{9600, 0, 8, 0, 0, 0, 1000}));
    EXPECT_FALSE(port.SetDtr(true));
    EXPECT_FALSE(port.PurgeDevice(kPurgeRxClear));
}

TEST_F(CommPortTest, ReadsWhatIsThereAndIsPendingOtherwise)
{
    std::uint8_t buffer[1024];
    std::uint32_t count = 0;
    EXPECT_EQ(port.StartRead(buffer, sizeof buffer), CCommPort::kPending);
    ASSERT_TRUE(pty.Write(Pattern(300)));
    ASSERT_TRUE(WaitDevice(POLLIN));
    ASSERT_EQ(port.StartRead(buffer, sizeof buffer), CCommPort::kCompleted);
    ASSERT_TRUE(port.ReadResult(count));
    EXPECT_EQ(Bytes(buffer, buffer + count), Pattern(count));
}

TEST_F(CommPortTest, OneWriteAtATimeUntilAllOfItIsWritten)
{
    const Bytes big = Pattern(512 * 1024, 1), other = Pattern(10, 2);
    ASSERT_EQ(port.StartWrite(big.data(), std::uint32_t(big.size())), CCommPort::kPending);
    EXPECT_TRUE(port.WriteInProgress());
    EXPECT_EQ(port.StartWrite(other.data(), std::uint32_t(other.size())), CCommPort::kFailed);

    Bytes seen;
    int result = CCommPort::kPending;
    while (result == CCommPort::kPending) {
        const Bytes more = pty.ReadSome();
        ASSERT_FALSE(more.empty());
        seen.insert(seen.end(), more.begin(), more.end());
        result = port.ContinueWrite();
    }
    EXPECT_EQ(result, CCommPort::kCompleted);
    EXPECT_FALSE(port.WriteInProgress());
    std::uint32_t written = 0;
    EXPECT_TRUE(port.WriteResult(written));
    EXPECT_EQ(written, big.size());
    const Bytes rest = pty.Read(big.size() - seen.size());
    seen.insert(seen.end(), rest.begin(), rest.end());
    EXPECT_EQ(seen, big);  // and nothing of the refused write
}

}  // namespace
}  // namespace TolvarRT
