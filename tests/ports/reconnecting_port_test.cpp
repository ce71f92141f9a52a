// The reconnect loop the TCP client and NTRIP ports share: the pauses of a
// row of attempts worked by hand, and a port with a one-byte handshake on
// loopback that loses its peer, is refused and comes back.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "log_recorder.h"
#include "port_collector.h"
#include "ports/network/reconnecting_port.h"
#include "tcp_server.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using testing::Bytes;

std::vector<long> NextPauses(CReconnectBackoff& backoff, int count, milliseconds unit = 1000ms)
{
    std::vector<long> pauses;
    for (int i = 0; i < count; ++i) {
        pauses.push_back(long(backoff.NextPause(unit).count()));
        backoff.Attempting();
    }
    return pauses;
}

TEST(ReconnectBackoffTest, PausesDoubleFromOneUnitUpToTheLongest)
{
    CReconnectBackoff backoff({8, 10, false});
    EXPECT_EQ(NextPauses(backoff, 6), (std::vector<long>{1000, 2000, 4000, 8000, 8000, 8000}));
    // A longest factor that is no power of two still caps the pause: 1, 2, 4, then 5.
    CReconnectBackoff uneven({5, 5, false});
    EXPECT_EQ(NextPauses(uneven, 5, 10ms), (std::vector<long>{10, 20, 40, 50, 50}));
}

TEST(ReconnectBackoffTest, OnlyASteadyConnectionStartsTheRowAgain)
{
    CReconnectBackoff backoff({256, 10, false});
    NextPauses(backoff, 3);
    // 9.999 units is short: the row goes on at 8 units.
    EXPECT_FALSE(backoff.Lost(9999ms, 1000ms));
    EXPECT_EQ(backoff.NextPause(1000ms), 8000ms);
    // Exactly ten units is steady.
    EXPECT_TRUE(backoff.Lost(10000ms, 1000ms));
    EXPECT_EQ(NextPauses(backoff, 2), (std::vector<long>{1000, 2000}));
}

TEST(ReconnectBackoffTest, TheFirstAttemptAfterASteadyLossMayGoAtOnce)
{
    CReconnectBackoff backoff({5, 5, true});
    // A connection that ends before it was ever steady waits one unit first.
    EXPECT_FALSE(backoff.Lost(100ms, 1000ms));
    EXPECT_EQ(backoff.NextPause(1000ms), 1000ms);
    EXPECT_TRUE(backoff.Lost(5000ms, 1000ms));
    EXPECT_EQ(NextPauses(backoff, 5), (std::vector<long>{0, 1000, 2000, 4000, 5000}));
    // The attempt at once is not counted as a pause: after a short
    // connection the row continues where it was.
    EXPECT_FALSE(backoff.Lost(10ms, 1000ms));
    EXPECT_EQ(backoff.NextPause(1000ms), 5000ms);
}

// A port whose handshake is one greeting byte, refused while `refuse` is set.
class CGreetingPort : public CReconnectingPort {
public:
    static constexpr std::uint8_t kGreeting = 0x47;

    using CReconnectingPort::CReconnectingPort;
    using CReconnectingPort::SetRetryUnit;
    ~CGreetingPort() override { Close(); }

    bool Open(const char* portName) override
    {
        sNetAddress parsed;
        return ReadyToOpen(portName, "GREET:", parsed) && OpenConnection(parsed, portName);
    }
    void QueueWrite(OwnedPortBuffer) override {}
    void SendBreak(unsigned) override {}

    std::atomic<bool> refuse{false};
    std::atomic<unsigned> handshakes{0};
    std::atomic<unsigned> losses{0};
    std::atomic<unsigned> returns{0};
    std::atomic<unsigned> failures{0};
    std::string LastFailure()
    {
        std::lock_guard<std::mutex> guard(failureLock);
        return lastFailure;
    }

private:
    sReconnectRule ReconnectRule() const override { return {4, 1000, false}; }
    bool Handshake(int fd, int, std::string& failure) override
    {
        handshakes.fetch_add(1);
        if (refuse.load()) {
            failure = "refused";
            return false;
        }
        return SocketSendAll(fd, &kGreeting, 1) == 1;
    }
    bool Serve(int fd) override
    {
        const sSocketReadiness ready = WaitSocket(fd, false, thread.StopFd(), -1, -1);
        if (ready.stopped || !ready.readable)
            return true;
        std::uint8_t buffer[64];
        const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        Deliver(buffer, std::uint32_t(count));
        return true;
    }
    void Connected(bool again) override { returns.fetch_add(again ? 1 : 0); }
    void Lost(milliseconds, bool, milliseconds) override { losses.fetch_add(1); }
    void AttemptFailed(const std::string& failure, milliseconds) override
    {
        {
            std::lock_guard<std::mutex> guard(failureLock);
            lastFailure = failure;
        }
        failures.fetch_add(1);
    }

    std::mutex failureLock;
    std::string lastFailure;
};

class ReconnectingPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Listen());
        name = "GREET:127.0.0.1:" + std::to_string(server.Port());
        port.SetRetryUnit(1ms);
    }

    void OpenAndStart()
    {
        ASSERT_TRUE(port.Open(name.c_str()));
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.Receive(1), (Bytes{CGreetingPort::kGreeting}));
        port.StartThread();
    }

    testing::CTcpServer server;
    testing::PortCollector collector;
    CGreetingPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    std::string name;
};

TEST_F(ReconnectingPortTest, EveryConnectionBeginsWithTheHandshakeAndEachLossIsReportedOnce)
{
    OpenAndStart();
    ASSERT_TRUE(server.Send({1}));
    ASSERT_TRUE(collector.WaitFor(1));

    server.CloseConnection();
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(server.Receive(1), (Bytes{CGreetingPort::kGreeting}));
    ASSERT_TRUE(testing::WaitUntil([&] { return port.returns.load() == 1; }));
    EXPECT_TRUE(port.IsConnected());
    EXPECT_EQ(port.losses.load(), 1u);
    EXPECT_EQ(port.handshakes.load(), 2u);
    EXPECT_EQ(port.ReconnectAttempts(), 1u);

    ASSERT_TRUE(server.Send({2, 3}));
    ASSERT_TRUE(collector.WaitFor(3));
    EXPECT_EQ(collector.Received(), (Bytes{1, 2, 3}));
}

TEST_F(ReconnectingPortTest, ARefusedHandshakeIsAFailedAttemptAndTheLoopTriesAgain)
{
    OpenAndStart();
    port.refuse = true;
    server.CloseConnection();
    ASSERT_TRUE(testing::WaitUntil([&] { return port.failures.load() >= 2; }));
    EXPECT_EQ(port.LastFailure(), "refused");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.losses.load(), 1u);

    // The refused connections wait in the listen queue ahead of the good one,
    // which is the first to greet.
    port.refuse = false;
    ASSERT_TRUE(testing::WaitUntil(
        [&] { return server.Accept(100ms) && server.Receive(1, 100ms) == Bytes{CGreetingPort::kGreeting}; }));
    ASSERT_TRUE(testing::WaitUntil([&] { return port.returns.load() == 1; }));
    EXPECT_TRUE(port.IsConnected());
    EXPECT_GE(port.ReconnectAttempts(), 3u);
}

TEST_F(ReconnectingPortTest, AHandshakeRefusedAtOpenLeavesThePortClosedAndSaysWhy)
{
    port.refuse = true;
    EXPECT_FALSE(port.Open(name.c_str()));
    EXPECT_EQ(port.FailureReason(), "refused");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
}

TEST_F(ReconnectingPortTest, CloseCutsALongPauseShort)
{
    port.SetRetryUnit(1h);
    OpenAndStart();
    server.CloseConnection();
    ASSERT_TRUE(testing::WaitUntil([&] { return port.losses.load() == 1; }));
    auto closed = std::async(std::launch::async, [&] { return port.Close(); });
    ASSERT_EQ(closed.wait_for(20s), std::future_status::ready);
    EXPECT_TRUE(closed.get());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ReconnectAttempts(), 0u);
}

}  // namespace
}  // namespace TolvarRT
