// Network port names and the socket operations under them.
#include <gtest/gtest.h>

#include <unistd.h>

#include "case_name.h"
#include "ports/network/socket.h"
#include "ports/platform/event_fd.h"
#include "tcp_server.h"

namespace TolvarRT {
namespace {

struct NameCase {
    const char* name;
    bool parses;
    const char* host;
    std::uint16_t port;
};

class PortNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNameTest, Parses)
{
    const NameCase& c = GetParam();
    sNetAddress address;
    ASSERT_EQ(ParseNetPortName(c.name, "TCP:", address), c.parses) << c.name;
    if (c.parses) {
        EXPECT_EQ(address.host, c.host);
        EXPECT_EQ(address.port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortNameTest,
    ::testing::Values(NameCase{"TCP:10.1.2.3", true, "10.1.2.3", 4044}, NameCase{"TCP:box:5017", true, "box", 5017},
                      NameCase{"tcp:box", true, "box", 4044}, NameCase{"Tcp:box:1", true, "box", 1},
                      NameCase{"TCP:box:65535", true, "box", 65535}, NameCase{"TCP:[::1]:5000", true, "::1", 5000},
                      NameCase{"TCP:[fe80::1]", true, "fe80::1", 4044}, NameCase{"TCP:::1", true, "::1", 4044},
                      NameCase{"TCP:box:0", false, "", 0}, NameCase{"TCP:box:00", false, "", 0},
                      NameCase{"TCP:", false, "", 0}, NameCase{"TCP::5000", false, "", 0},
                      NameCase{"TCP:box:", false, "", 0}, NameCase{"TCP:box:65536", false, "", 0},
                      NameCase{"TCP:box:12ab", false, "", 0}, NameCase{"TCP:box:-1", false, "", 0},
                      NameCase{"TCP:[::1", false, "", 0}, NameCase{"TCP:[]:5000", false, "", 0},
                      NameCase{"TCP:[::1]5000", false, "", 0}, NameCase{"UDP:box", false, "", 0},
                      NameCase{"TC", false, "", 0}, NameCase{"COM1", false, "", 0}),
    [](const auto& info) { return testing::IndexedName(info.index, info.param.name); });

TEST(SocketTest, ConnectsToAnIPv4LoopbackServerAndFailsWhenRefused)
{
    testing::CTcpServer server;
    ASSERT_TRUE(server.Listen());
    int fd = ConnectSocket({"127.0.0.1", server.Port()}, SocketKind::Stream, -1, 5000);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(server.Accept());
    EXPECT_EQ(SocketSendAll(fd, "abc", 3), 3u);
    EXPECT_EQ(server.Receive(3), (testing::Bytes{'a', 'b', 'c'}));
    CloseSocket(fd);
    EXPECT_EQ(fd, -1);
    const std::uint16_t port = server.Port();
    server.Stop();
    EXPECT_LT(ConnectSocket({"127.0.0.1", port}, SocketKind::Stream, -1, 5000), 0);
}

TEST(SocketTest, ConnectsToAnIPv6LoopbackServer)
{
    int listener = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        if (listener >= 0)
            close(listener);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    socklen_t size = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    sNetAddress parsed;
    const std::string name = "TCP:[::1]:" + std::to_string(ntohs(address.sin6_port));
    ASSERT_TRUE(ParseNetPortName(name, "TCP:", parsed));
    int fd = ConnectSocket(parsed, SocketKind::Stream, -1, 5000);
    EXPECT_GE(fd, 0);
    CloseSocket(fd);
    close(listener);
}

TEST(SocketTest, WaitSeesTheStopBeforeData)
{
    CEventFd stop;
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(WaitReadable(pair[0], stop.Fd(), 0), WaitResult::Timeout);
    ASSERT_EQ(write(pair[1], "x", 1), 1);
    EXPECT_EQ(WaitReadable(pair[0], stop.Fd(), 0), WaitResult::Readable);
    stop.Signal();
    EXPECT_EQ(WaitReadable(pair[0], stop.Fd(), 0), WaitResult::Stopped);
    EXPECT_EQ(WaitReadable(-1, stop.Fd(), 1000), WaitResult::Stopped);
    close(pair[0]);
    close(pair[1]);
}

}  // namespace
}  // namespace TolvarRT
