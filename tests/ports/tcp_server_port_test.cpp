// The TCP server port with loopback clients: whichever client connects is
// heard, a new one replaces the old, and writes go to the current one only.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "log_recorder.h"
#include "loopback.h"
#include "port_collector.h"
#include "ports/network/tcp_server_port.h"
#include "ports/port_factory.h"
#include "ports/stream_path.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using testing::Bytes;
using testing::WaitUntil;

// A loopback client of the port under test.
class Client {
public:
    explicit Client(std::uint16_t port)
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = testing::Loopback(port);
        connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { Close(); }
    void Close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool Send(const Bytes& bytes)
    {
        return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // Up to count bytes within the limit; an empty answer with ended set
    // when the port closed the connection.
    Bytes Receive(std::size_t count, bool& ended)
    {
        Bytes got;
        ended = false;
        while (got.size() < count && testing::WaitReadable(fd, std::chrono::seconds(10))) {
            std::uint8_t buffer[256];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ended = true;
                break;
            }
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

    bool connected = false;

private:
    int fd = -1;
};

class TcpServerPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetLogPipe(&logPipe);
        ASSERT_TRUE(port.Open("tcpsvr:0")) << port.FailureReason();  // the prefix in any case
        ASSERT_TRUE(port.Configure(PortSettings{}));
        port.StartThread();
        ASSERT_NE(port.ListeningPort(), 0);
    }
    bool ClientsAccepted(unsigned count)
    {
        return WaitUntil([&] { return port.ClientsAccepted() >= count && port.HasClient(); });
    }

    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    testing::PortCollector collector;
    CTCPServerPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
};

TEST_F(TcpServerPortTest, TheNextClientIsHeardAfterTheFirstLeaves)
{
    {
        Client first(port.ListeningPort());
        ASSERT_TRUE(first.connected);
        ASSERT_TRUE(first.Send({1, 2, 3}));
        ASSERT_TRUE(collector.WaitFor(3));
    }
    ASSERT_TRUE(WaitUntil([&] { return !port.HasClient(); })) << "the port saw the client leave";
    EXPECT_TRUE(port.IsOpen()) << "a client that leaves does not close the port";

    Client second(port.ListeningPort());
    ASSERT_TRUE(ClientsAccepted(2));
    ASSERT_TRUE(second.Send({4, 5}));
    ASSERT_TRUE(collector.WaitFor(5));
    EXPECT_EQ(collector.Received(), (Bytes{1, 2, 3, 4, 5}));
}

TEST_F(TcpServerPortTest, ANewClientReplacesTheConnectedOne)
{
    Client first(port.ListeningPort());
    ASSERT_TRUE(ClientsAccepted(1));
    Client second(port.ListeningPort());
    ASSERT_TRUE(ClientsAccepted(2));

    bool ended = false;
    EXPECT_TRUE(first.Receive(1, ended).empty());
    EXPECT_TRUE(ended) << "the replaced client is closed";
    EXPECT_EQ(log.Count("tcpsvr:0: a new client replaces the connected one"), 1u);

    ASSERT_TRUE(second.Send({7, 8, 9}));
    ASSERT_TRUE(collector.WaitFor(3));
    EXPECT_EQ(collector.Received(), (Bytes{7, 8, 9}));
    port.QueueWrite(std::make_unique<PortBuffer>(Bytes{0x55, 0xAA}));
    EXPECT_EQ(second.Receive(2, ended), (Bytes{0x55, 0xAA})) << "writes go to the current client";
}

TEST_F(TcpServerPortTest, WritesWithoutAClientAreDroppedAndCounted)
{
    port.QueueWrite(std::make_unique<PortBuffer>(Bytes{1}));
    port.QueueWrite(std::make_unique<PortBuffer>(Bytes{2}));
    EXPECT_EQ(port.WritesWithoutClient(), 2u);

    Client client(port.ListeningPort());
    ASSERT_TRUE(ClientsAccepted(1));
    port.QueueWrite(std::make_unique<PortBuffer>(Bytes{3}));
    bool ended = false;
    EXPECT_EQ(client.Receive(1, ended), Bytes{3}) << "nothing dropped earlier is sent late";
    EXPECT_EQ(port.WritesWithoutClient(), 2u);
}

TEST(TcpServerPortNameTest, BadNamesAndTakenPortsFailWithAReason)
{
    testing::PortCollector collector;
    CTCPServerPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    for (const char* name : {"TCPSVR:", "TCPSVR:70000", "TCPSVR:localhost:80x", "TCP:127.0.0.1:5000"}) {
        EXPECT_FALSE(port.Open(name)) << name;
        EXPECT_FALSE(port.FailureReason().empty()) << name;
    }
    ASSERT_TRUE(port.Open("TCPSVR:0")) << port.FailureReason();
    CTCPServerPort other{&collector, &testing::PortCollector::OnBytes, 0, 0};
    EXPECT_FALSE(other.Open(("TCPSVR:127.0.0.1:" + std::to_string(port.ListeningPort())).c_str()))
        << "the port is taken";
    EXPECT_NE(other.FailureReason().find("in use"), std::string::npos) << other.FailureReason();
}

TEST(TcpServerPortNameTest, NamesGiveTheAddressAndPortToListenOn)
{
    const std::vector<std::tuple<const char*, const char*, std::uint16_t>> good = {
        {"TCPSVR:6200", "127.0.0.1", 6200},           {"TCPSVR::6200", "127.0.0.1", 6200},
        {"TCPSVR:127.0.0.1:6200", "127.0.0.1", 6200}, {"TCPSVR::127.0.0.1:6200", "127.0.0.1", 6200},
        {"tcpsvr:0.0.0.0:0", "0.0.0.0", 0},           {"TCPSVR:[::1]:6200", "::1", 6200},
    };
    for (const auto& [name, host, number] : good) {
        sNetAddress address;
        std::string failure;
        ASSERT_TRUE(ParseServerPortName(name, address, failure)) << name << ": " << failure;
        EXPECT_EQ(address.host, host) << name;
        EXPECT_EQ(address.port, number) << name;
    }
    for (const char* name : {"TCPSVR:", "TCPSVR::", "TCPSVR:host:", "TCPSVR:host:65536", "TCPSVR:[::1:1", "TCP:1"}) {
        sNetAddress address;
        std::string failure;
        EXPECT_FALSE(ParseServerPortName(name, address, failure)) << name;
        EXPECT_FALSE(failure.empty()) << name;
    }
}

// The address as the command line, a stream path and the connection dialog
// write it: a client of that address reaches the port made for the name.
TEST(TcpServerPortNameTest, AClientReachesAPortListeningOnTheGivenAddress)
{
    for (const std::string& name : {std::string("TCPSVR:127.0.0.1:0"), std::string("TCPSVR::127.0.0.1:0"),
                                    std::string("tcpsvr://127.0.0.1:0"), std::string("TCPSVR:0.0.0.0:0")}) {
        sStreamPath path;
        std::string failure;
        const std::string portName = IsStreamPath(name) && ParseStreamPath(name, path, failure) ? path.portName : name;
        ASSERT_TRUE(failure.empty()) << failure;
        testing::PortCollector collector;
        const auto port = CreatePortForName(portName, &collector, &testing::PortCollector::OnBytes);
        ASSERT_TRUE(port->Open(portName.c_str())) << name << ": " << port->FailureReason();
        ASSERT_TRUE(port->Configure(PortSettings{}));
        port->StartThread();
        Client client(static_cast<CTCPServerPort&>(*port).ListeningPort());
        ASSERT_TRUE(client.connected) << name;
        ASSERT_TRUE(client.Send(Bytes{7, 8}));
        EXPECT_TRUE(WaitUntil([&] { return collector.Received() == Bytes{7, 8}; })) << name;
    }
}

// tcpsvr://:port and the connection dialog leave the address empty.
TEST(TcpServerPortNameTest, AnEmptyAddressListensOnLoopback)
{
    testing::PortCollector collector;
    CTCPServerPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    ASSERT_TRUE(port.Open("TCPSVR::0")) << port.FailureReason();
    ASSERT_TRUE(port.Configure(PortSettings{}));
    port.StartThread();
    Client client(port.ListeningPort());
    ASSERT_TRUE(client.connected) << "listening on 127.0.0.1";
}

}  // namespace
}  // namespace TolvarRT
