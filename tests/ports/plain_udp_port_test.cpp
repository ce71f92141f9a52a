// Plain UDP ports with loopback peers: a receiver delivers each datagram
// whole, a sender sends each write as one, and their names and stream paths
// are told apart from the converter's link protocol.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "loopback.h"
#include "port_collector.h"
#include "ports/network/plain_udp_port.h"
#include "ports/port_factory.h"
#include "ports/stream_path.h"

namespace TolvarRT {
namespace {

using testing::Bytes;

// A loopback datagram socket of the test, bound to a free port.
class CDatagramPeer {
public:
    CDatagramPeer()
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = testing::Loopback(0);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        port = testing::BoundPort(fd);
    }
    ~CDatagramPeer() { close(fd); }
    bool SendTo(std::uint16_t to, const Bytes& bytes)
    {
        const sockaddr_in address = testing::Loopback(to);
        return sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
               ssize_t(bytes.size());
    }
    // One datagram and the port it came from; empty when none came in 5 s.
    Bytes Receive(std::uint16_t* from = nullptr)
    {
        if (!testing::WaitReadable(fd, std::chrono::seconds(5)))
            return {};
        Bytes bytes(70000);
        sockaddr_in address{};
        socklen_t size = sizeof address;
        const ssize_t got = recvfrom(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address), &size);
        bytes.resize(got > 0 ? std::size_t(got) : 0);
        if (from != nullptr)
            *from = ntohs(address.sin_port);
        return bytes;
    }
    std::uint16_t Port() const { return port; }

private:
    int fd = -1;
    std::uint16_t port = 0;
};

Bytes Pattern(std::size_t length, std::uint8_t seed)
{
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = std::uint8_t(seed + i * 7);
    return bytes;
}

TEST(PlainUDPPortTest, AReceiverDeliversEachDatagramWholeAndHoldsItsPortAlone)
{
    testing::PortCollector collector;
    CPlainUDPPort port(&collector, &testing::PortCollector::OnBytes, 0, 0);
    ASSERT_TRUE(port.Open("UDPSVR:0")) << port.FailureReason();
    ASSERT_NE(port.LocalPort(), 0);
    port.StartThread();

    // Sizes around the largest a converter's protocol takes and the largest
    // there is: none may be cut or merged with the next.
    const std::vector<Bytes> sent = {Pattern(1, 1), Pattern(1401, 2), Pattern(CPlainUDPPort::kMaxDatagram, 3),
                                     Pattern(300, 4)};
    CDatagramPeer peer;
    for (const Bytes& datagram : sent)
        ASSERT_TRUE(peer.SendTo(port.LocalPort(), datagram));
    ASSERT_TRUE(collector.WaitForChunks(sent.size()));
    EXPECT_EQ(collector.Chunks(), sent);
    EXPECT_EQ(port.DatagramsReceived(), sent.size());

    // A receiver has nobody to answer: what is written to it goes nowhere.
    port.QueueWrite(std::make_unique<PortBuffer>(Pattern(10, 5)));
    EXPECT_EQ(port.WritesDropped(), 1u);

    CPlainUDPPort second(nullptr, nullptr, 0, 0);
    const std::string taken = "UDPSVR:127.0.0.1:" + std::to_string(port.LocalPort());
    EXPECT_FALSE(second.Open(taken.c_str())) << "two receivers would each get some of the datagrams";
    EXPECT_EQ(second.FailureReason(), "127.0.0.1:" + std::to_string(port.LocalPort()) + ": Address already in use");

    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(second.Open(taken.c_str())) << "the port is free again once closed: " << second.FailureReason();
}

TEST(PlainUDPPortTest, ASenderSendsEachWriteAsOneDatagramAndHearsItsPeer)
{
    CDatagramPeer peer;
    testing::PortCollector collector;
    CPlainUDPPort port(&collector, &testing::PortCollector::OnBytes, 0, 0);
    const std::string name = "UDPCLI:127.0.0.1:" + std::to_string(peer.Port());
    ASSERT_TRUE(port.Open(name.c_str())) << port.FailureReason();
    port.StartThread();

    port.QueueWrite(std::make_unique<PortBuffer>(Pattern(200, 6)));
    port.QueueWriteFirst(std::make_unique<PortBuffer>(Pattern(3, 7)));
    std::uint16_t from = 0;
    EXPECT_EQ(peer.Receive(&from), Pattern(200, 6));
    EXPECT_EQ(peer.Receive(), Pattern(3, 7));
    EXPECT_EQ(from, port.LocalPort());
    port.QueueWrite(std::make_unique<PortBuffer>(Pattern(CPlainUDPPort::kMaxDatagram + 1, 8)));
    EXPECT_EQ(port.WritesDropped(), 1u) << "too long for one datagram";

    ASSERT_TRUE(peer.SendTo(from, Pattern(40, 9)));
    ASSERT_TRUE(collector.WaitForChunks(1));
    EXPECT_EQ(collector.Received(), Pattern(40, 9));
}

// A Source's generator writes from its own thread while the owner closes the
// port: every write is sent or dropped, none goes to a closed (or reused)
// socket.
TEST(PlainUDPPortTest, WritesRacingCloseAreSentOrDropped)
{
    CDatagramPeer peer;
    CPlainUDPPort port(nullptr, nullptr, 0, 0);
    const std::string name = "UDPCLI:127.0.0.1:" + std::to_string(peer.Port());
    ASSERT_TRUE(port.Open(name.c_str())) << port.FailureReason();
    port.StartThread();
    std::atomic<bool> closed{false};
    std::thread writer([&] {
        for (std::uint8_t i = 0; !closed.load(); ++i)
            port.QueueWrite(std::make_unique<PortBuffer>(Pattern(8, i)));
        port.QueueWrite(std::make_unique<PortBuffer>(Pattern(8, 0)));
    });
    EXPECT_FALSE(peer.Receive().empty()) << "writes go out while open";
    port.Close();
    closed = true;
    writer.join();
    EXPECT_GE(port.WritesDropped(), 1u) << "at least the write after Close";
}

TEST(PlainUDPPortTest, NamesAndStreamPathsChooseThePlainPortsAndUdpPathsSayWhatToWrite)
{
    for (const char* name : {"UDPSVR:5000", "udpsvr:[::1]:5000", "UDPCLI:host:5000"}) {
        auto port = CreatePortForName(name, nullptr, nullptr);
        EXPECT_NE(dynamic_cast<CPlainUDPPort*>(port.get()), nullptr) << name;
        std::string failure;
        EXPECT_TRUE(CheckPortName(name, failure)) << failure;
        EXPECT_FALSE(IsProbeablePort(name)) << name << ": a stream tool answers no identity request";
    }
    EXPECT_EQ(dynamic_cast<CPlainUDPPort*>(CreatePortForName("UDP:host:5000", nullptr, nullptr).get()), nullptr);
    EXPECT_TRUE(IsProbeablePort("UDP:host:5000"));

    const std::pair<const char*, const char*> paths[] = {{"udpsvr://:5000", "UDPSVR::5000"},
                                                         {"UDPSVR://0.0.0.0:5000", "UDPSVR:0.0.0.0:5000"},
                                                         {"udpcli://10.0.0.5:5018", "UDPCLI:10.0.0.5:5018"}};
    for (const auto& [text, portName] : paths) {
        sStreamPath path;
        std::string failure;
        ASSERT_TRUE(ParseStreamPath(text, path, failure)) << failure;
        EXPECT_EQ(path.portName, portName);
        EXPECT_FALSE(IsProbeablePort(text));
    }
    sNetAddress address;
    PlainUDPRole role = PlainUDPRole::Sender;
    std::string failure;
    ASSERT_TRUE(ParsePlainUDPPortName("UDPSVR::5000", role, address, failure)) << failure;
    EXPECT_EQ(role, PlainUDPRole::Receiver);
    EXPECT_EQ(address.host, "127.0.0.1") << "nobody off this machine unless an address is given";
    EXPECT_EQ(address.port, 5000);

    const std::pair<const char*, const char*> refused[] = {
        {"udpsvr://host:50x", "udpsvr://host:50x: expected udpsvr://[addr]:port, the port is not a number"},
        {"udpcli://:5000", "udpcli://:5000: not a host:port address"},
        {"UDPSVR:", "UDPSVR:: the port is not a number"},
        {"udp://10.0.0.5:5018", "udp://10.0.0.5:5018: plain UDP goes either way"},
    };
    for (const auto& [text, reason] : refused) {
        std::string why;
        EXPECT_FALSE(CheckPortName(text, why)) << text;
        EXPECT_EQ(why.rfind(reason, 0), 0u) << why;
    }
    std::string why;
    CheckPortName("udp://10.0.0.5:5018", why);
    for (const char* named : {"udpsvr://[addr]:port", "udpcli://host:port", "UDP:host[:port]", "4044"})
        EXPECT_NE(why.find(named), std::string::npos) << named << " in: " << why;
}

}  // namespace
}  // namespace TolvarRT
