// The TCP port against a loopback server: names, bytes both ways, the break
// packet, and reconnecting on its own when the server goes away.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "open_failures.h"
#include "port_collector.h"
#include "ports/byte_pipe.h"
#include "ports/network/tcp_serial_port.h"
#include "tcp_server.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using Clock = std::chrono::steady_clock;

std::string NameFor(std::uint16_t port, const char* prefix = "TCP:")
{
    return std::string(prefix) + "127.0.0.1:" + std::to_string(port);
}

class TcpSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listen()); }

    // Open, start, and the server's side of the connection accepted.
    void OpenAndStart(const std::string& name)
    {
        ASSERT_TRUE(port.Open(name.c_str()));
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(port.Configure(PortSettings{}));
        port.StartThread();
    }

    static OwnedPortBuffer Buffer(const Bytes& bytes) { return std::make_unique<PortBuffer>(bytes); }

    testing::CTcpServer server;
    testing::PortCollector collector;
    CTCPSerialPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
};

TEST_F(TcpSerialPortTest, BytesGoBothWays)
{
    OpenAndStart(NameFor(server.Port(), "tcp:"));  // the prefix in any case
    Bytes burst(3000);
    for (std::size_t k = 0; k < burst.size(); ++k)
        burst[k] = std::uint8_t(k * 7);
    ASSERT_TRUE(server.Send(burst));
    ASSERT_TRUE(collector.WaitFor(burst.size()));
    EXPECT_EQ(collector.Received(), burst);
    for (const Bytes& chunk : collector.Chunks())
        EXPECT_LE(chunk.size(), 1024u);

    port.QueueWrite(Buffer({1, 2, 3}));
    port.QueueWriteFirst(Buffer({4, 5}));
    EXPECT_EQ(server.Receive(5), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(TcpSerialPortTest, FailuresToOpenSayWhy)
{
    const std::uint16_t closedPort = [] {
        testing::CTcpServer gone;
        EXPECT_TRUE(gone.Listen());
        return gone.Port();
    }();
    testing::ExpectOpenFailures(port, {
                                          {"TCP:127.0.0.1:0", "the port is not a number from 1 to 65535"},
                                          {"TCP:127.0.0.1:http", "the port is not a number from 1 to 65535"},
                                          {"TCP::4044", "not a host:port address"},
                                          {"TCP:[::1:4044", "not a host:port address"},
                                          {"UDP:127.0.0.1:4044", "does not start with TCP:"},
                                          {NameFor(closedPort), "Connection refused"},
                                      });
    EXPECT_FALSE(port.Configure(PortSettings{}));
    EXPECT_EQ(port.FailureReason(), "not open");

    ASSERT_TRUE(port.Open(NameFor(server.Port()).c_str()));
    EXPECT_EQ(port.FailureReason(), "");
    EXPECT_FALSE(port.Open(NameFor(server.Port()).c_str()));
    EXPECT_EQ(port.FailureReason(), "already open");
}

TEST(TcpSerialPortDefaultTest, NoPortNumberMeans4044)
{
    testing::CTcpServer server;
    if (!server.Listen(4044))
        GTEST_SKIP() << "port 4044 is in use on this machine";
    CTCPSerialPort port(nullptr, nullptr, 0, 0);
    ASSERT_TRUE(port.Open("TCP:127.0.0.1"));
    EXPECT_TRUE(server.Accept());
    EXPECT_TRUE(port.Close());
}

TEST_F(TcpSerialPortTest, CloseReportsWhetherItClosedAnything)
{
    EXPECT_FALSE(port.Close());
    OpenAndStart(NameFor(server.Port()));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close());
    // The server sees the connection end.
    EXPECT_TRUE(server.Receive(1, 5s).empty());
}

TEST_F(TcpSerialPortTest, SendBreakWritesTheBreakPacketAfter300Ms)
{
    OpenAndStart(NameFor(server.Port()));
    const auto start = Clock::now();
    port.SendBreak(50);
    const Bytes expected = {0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50, 0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};
    EXPECT_EQ(server.Receive(expected.size()), expected);
    EXPECT_GE(Clock::now() - start, 300ms);
    // Nothing more follows it.
    EXPECT_TRUE(server.Receive(1, 200ms).empty());
}

TEST_F(TcpSerialPortTest, ServerRestartIsBridgedWithoutTheCaller)
{
    const std::uint16_t number = server.Port();
    OpenAndStart(NameFor(number));
    ASSERT_TRUE(server.Send({1}));
    ASSERT_TRUE(collector.WaitFor(1));

    server.Stop();
    ASSERT_TRUE(testing::WaitUntil([&] { return !port.IsConnected(); }));
    EXPECT_TRUE(port.IsOpen());    // a lost connection does not close the port
    port.QueueWrite(Buffer({9}));  // dropped while the link is down

    ASSERT_TRUE(server.Listen(number));
    ASSERT_TRUE(server.Accept(20s));
    ASSERT_TRUE(server.Send({2, 3}));
    ASSERT_TRUE(collector.WaitFor(3));
    EXPECT_EQ(collector.Received(), (Bytes{1, 2, 3}));
    EXPECT_GE(port.ReconnectAttempts(), 1u);

    ASSERT_TRUE(testing::WaitUntil([&] { return port.IsConnected(); }));
    port.QueueWrite(Buffer({7}));
    EXPECT_EQ(server.Receive(1), (Bytes{7}));
}

// Regression test for the reconnect loop that retried without a pause.
TEST_F(TcpSerialPortTest, FailedReconnectsBackOffAndCloseCutsTheWaitShort)
{
    const std::uint16_t number = server.Port();
    OpenAndStart(NameFor(number));
    server.Stop();
    // Attempts at about 1 s and 3 s after the loss, then a wait of 4 s.
    std::this_thread::sleep_for(3500ms);
    EXPECT_GE(port.ReconnectAttempts(), 1u);
    EXPECT_LE(port.ReconnectAttempts(), 3u);
    const auto start = Clock::now();
    EXPECT_TRUE(port.Close());
    EXPECT_LT(Clock::now() - start, 2500ms);
}

TEST_F(TcpSerialPortTest, APeerThatHangsUpAtOnceIsNotHammered)
{
    OpenAndStart(NameFor(server.Port()));
    // A connection that ends at once counts as a failed attempt: 1 s, then 2 s.
    for (const auto pause : {900ms, 1900ms}) {
        server.CloseConnection();
        const auto start = Clock::now();
        ASSERT_TRUE(server.Accept());
        EXPECT_GE(Clock::now() - start, pause);
    }
}

// A byte pipe on a real TCP port, with the port at hand.
class TcpBytePipe : public CBytePipeSubscription {
public:
    ~TcpBytePipe() override { ClosePort(); }
    CTCPSerialPort* port = nullptr;

protected:
    std::unique_ptr<CSerialPortInterface> CreatePort(const std::string&) override
    {
        auto created = std::make_unique<CTCPSerialPort>(
            this,
            [](void* owner, const std::uint8_t* data, std::uint32_t length) {
                static_cast<TcpBytePipe*>(owner)->PublishBytes(data, length);
            },
            0, 0);
        port = created.get();
        return created;
    }
};

class ReceivedBytes : public CBytePipeSubscriber {
public:
    ~ReceivedBytes() override { Unsubscribe(); }
    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t, const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        bytes.insert(bytes.end(), data, data + length);
        changed.notify_all();
        return 0;
    }
    bool WaitFor(const Bytes& expected)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return bytes == expected; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    Bytes bytes;
};

// Eight kilobytes that carry their number in the first four.
Bytes NumberedWrite(std::uint32_t n)
{
    Bytes bytes(8192, std::uint8_t(n * 13 + 1));
    for (unsigned i = 0; i < 4; ++i)
        bytes[i] = std::uint8_t(n >> (24 - 8 * i));
    return bytes;
}

TEST(TcpBytePipeTest, BytesFromAPeerThatStopsReadingArriveWhileTheSendsToItWait)
{
    testing::CTcpServer server;
    ASSERT_TRUE(server.Listen(0, 4096));
    TcpBytePipe pipe;
    ReceivedBytes received;
    received.Subscribe(&pipe);
    PortRequest request;
    request.name = NameFor(server.Port());
    ASSERT_TRUE(pipe.OpenPort(request));
    ASSERT_TRUE(server.Accept());
    pipe.port->SetStallLimit(std::chrono::minutes(10));

    // A generator keeps offering numbered writes to the peer, which reads
    // nothing; each only once the queue has room for it, so none is refused
    // and the socket buffers stay full. No send waits for the peer, so the
    // peer's bytes come in meanwhile.
    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> sent{0};
    std::atomic<bool> full{false};
    std::thread generator([&] {
        while (!stop.load() && sent.load() < 8192) {
            if (pipe.port->QueuedBytes() >= CTCPSerialPort::kQueueLimit / 2) {
                full.store(true);
                std::this_thread::sleep_for(1ms);
                continue;
            }
            const Bytes bytes = NumberedWrite(sent.load());
            if (!pipe.Send(bytes.data(), std::uint32_t(bytes.size())))
                break;
            sent.fetch_add(1);
        }
    });
    const bool filled = testing::WaitUntil([&] { return full.load(); });
    const bool pinged = filled && server.Send({'p', 'i', 'n', 'g'}) && received.WaitFor({'p', 'i', 'n', 'g'});
    stop.store(true);
    generator.join();
    ASSERT_TRUE(filled) << "the socket buffers never filled";
    ASSERT_TRUE(pinged) << "received bytes wait for no send";
    EXPECT_TRUE(pipe.port->IsConnected());

    // Once the peer reads, every write arrives whole and in order.
    const std::size_t total = std::size_t(sent.load()) * 8192;
    const Bytes out = server.Receive(total, 20s);
    ASSERT_EQ(out.size(), total);
    for (std::uint32_t n = 0; n < sent.load(); ++n) {
        ASSERT_TRUE(std::equal(out.begin() + std::ptrdiff_t(n) * 8192, out.begin() + std::ptrdiff_t(n + 1) * 8192,
                               NumberedWrite(n).begin()))
            << n;
    }
    EXPECT_EQ(pipe.port->DroppedWrites(), 0u);
    EXPECT_EQ(pipe.port->ReconnectAttempts(), 0u);
}

}  // namespace
}  // namespace TolvarRT
