#include "ports/network/plain_udp_port.h"

#include <algorithm>
#include <string>
#include <vector>

namespace TolvarRT {
namespace {

constexpr std::string_view kReceiverPrefix = "UDPSVR:";
constexpr std::string_view kSenderPrefix = "UDPCLI:";
constexpr int kSendTimeoutMs = 1000;

}  // namespace

bool ParsePlainUDPPortName(std::string_view name, PlainUDPRole& role, sNetAddress& address, std::string& failure)
{
    if (HasNetPrefix(name, kReceiverPrefix)) {
        role = PlainUDPRole::Receiver;
        return ParseListenPortName(name, kReceiverPrefix, address, failure);
    }
    if (HasNetPrefix(name, kSenderPrefix)) {
        role = PlainUDPRole::Sender;
        failure = "not a host:port address";
        return ParseNetPortName(name, kSenderPrefix, address, &failure);
    }
    failure = "not a UDPSVR:[addr:]port or UDPCLI:host:port name";
    return false;
}

CPlainUDPPort::~CPlainUDPPort()
{
    Close();
}

bool CPlainUDPPort::Open(const char* portName)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    sNetAddress address;
    PlainUDPRole parsedRole = PlainUDPRole::Receiver;
    std::string failure = "no name";
    if (portName == nullptr || !ParsePlainUDPPortName(portName, parsedRole, address, failure))
        return Fail(failure);
    const int fd = parsedRole == PlainUDPRole::Receiver ? BindDatagramSocket(address.host, address.port, &failure)
                                                        : ConnectSocket(address, SocketKind::Datagram, -1, 0, &failure);
    if (fd < 0)
        return Fail(address.host + ":" + std::to_string(address.port) + ": " + failure);
    SetSendTimeout(fd, kSendTimeoutMs);
    name = portName;
    {
        std::lock_guard<std::mutex> guard(sendLock);
        sock = fd;
        role = parsedRole;
    }
    localPort = SocketPort(fd);
    datagrams = 0;
    dropped = 0;
    open = true;
    return true;
}

bool CPlainUDPPort::Close()
{
    if (!open.load())
        return false;
    thread.Stop();
    {
        std::lock_guard<std::mutex> guard(sendLock);
        CloseSocket(sock);
    }
    open = false;
    return true;
}

void CPlainUDPPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (!buffer || buffer->empty())
        return;
    std::lock_guard<std::mutex> guard(sendLock);
    if (sock < 0 || role == PlainUDPRole::Receiver || buffer->size() > kMaxDatagram) {
        dropped.fetch_add(1);
        return;
    }
    // A datagram that does not go out is lost as any other on the network.
    SocketSendAll(sock, buffer->data(), buffer->size());
}

void CPlainUDPPort::ThreadMain()
{
    std::vector<std::uint8_t> buffer(kMaxDatagram + 1);
    while (!thread.StopRequested()) {
        const WaitResult result = WaitReadable(sock, thread.StopFd(), -1);
        if (result == WaitResult::Stopped)
            return;
        if (result != WaitResult::Readable)
            continue;
        // A sender whose peer is not listening (yet) gets the system's refusal
        // as an error on its next receive: nothing to deliver, try again.
        const ssize_t length = SocketReceive(sock, SocketKind::Datagram, buffer.data(), buffer.size());
        if (length > 0) {
            datagrams.fetch_add(1);
            Deliver(buffer.data(), std::uint32_t(std::min<std::size_t>(std::size_t(length), buffer.size())));
        }
    }
}

}  // namespace TolvarRT
