// The UDP port: socket I/O around the link protocol. The reader thread waits
// in one poll() on the socket and the stop eventfd, until the link's next
// deadline (a gap to give up, a keep-alive due).
#include "ports/network/udp_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

namespace TolvarRT {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kSendTimeoutMs = 1000;
constexpr milliseconds kDisconnectAckWait{500};
constexpr milliseconds kLastDisconnectAckWait{1600};

}  // namespace

CUDPSerialPort::~CUDPSerialPort()
{
    Close();
}

bool CUDPSerialPort::Open(const char* portName)
{
    sNetAddress parsed;
    if (!ReadyToOpen(portName, "UDP:", parsed))
        return false;
    const int fd = ConnectForOpen(parsed, SocketKind::Datagram, 0);
    if (fd < 0)
        return false;
    SetSendTimeout(fd, kSendTimeoutMs);
    {
        std::lock_guard<std::mutex> guard(portLock);
        name = portName;
        sock = fd;
        open = true;
        socketError = 0;
        link.Connect(TimeStampNow());
    }
    RunWhile(CUDPLink::State::Connecting, acceptTimeout);
    std::string failure;
    {
        std::lock_guard<std::mutex> guard(portLock);
        if (link.GetState() == CUDPLink::State::Connected)
            return true;
        if (socketError != 0)
            failure = std::system_category().message(socketError);
        else if (link.GetState() == CUDPLink::State::Closed)
            failure = "the peer refused the connection";
        else
            failure = "no answer from the peer within " + std::to_string(acceptTimeout.count()) + " ms";
    }
    Close();
    return Fail(std::move(failure));
}

bool CUDPSerialPort::IsOpen()
{
    std::lock_guard<std::mutex> guard(portLock);
    return open;
}

bool CUDPSerialPort::IsConnected()
{
    std::lock_guard<std::mutex> guard(portLock);
    return link.GetState() == CUDPLink::State::Connected;
}

std::uint8_t CUDPSerialPort::LinkId()
{
    std::lock_guard<std::mutex> guard(portLock);
    return link.LinkId();
}

bool CUDPSerialPort::Close()
{
    bool closing;
    {
        std::lock_guard<std::mutex> guard(portLock);
        if (!open)
            return false;
        closing = link.BeginDisconnect(TimeStampNow());
    }
    thread.Stop();
    if (closing) {
        RunWhile(CUDPLink::State::Closing, kDisconnectAckWait);
        {
            std::lock_guard<std::mutex> guard(portLock);
            link.RepeatDisconnect(TimeStampNow());
        }
        RunWhile(CUDPLink::State::Closing, kLastDisconnectAckWait);
    }
    std::lock_guard<std::mutex> guard(portLock);
    CloseSocket(sock);
    link.Reset();
    open = false;
    return true;
}

void CUDPSerialPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (buffer)
        SendPayload(kUdpData, buffer->data(), buffer->size());
}

void CUDPSerialPort::SendBreak(unsigned /*milliseconds*/)
{
    SendPayload(kUdpBreakRequest, nullptr, 0);
}

void CUDPSerialPort::SendPayload(UDPDatagramType type, const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> guard(portLock);
    if (link.GetState() == CUDPLink::State::Connected)
        link.Send(type, data, length, TimeStampNow());
}

void CUDPSerialPort::SendDatagram(const std::uint8_t* data, std::size_t length)
{
    // Called by the link under the port lock. A datagram that does not go out
    // is lost like any other on the network.
    SocketSendAll(sock, data, length);
}

bool CUDPSerialPort::Step(bool readable)
{
    std::lock_guard<std::mutex> guard(portLock);
    const TimeStamp now = TimeStampNow();
    bool received = true;
    if (readable) {
        const int slot = link.AcquireBuffer(now);
        if (slot >= 0) {
            const ssize_t length = SocketReceive(sock, SocketKind::Datagram, link.Buffer(slot), CUDPLink::kMaxDatagram);
            if (const int error = errno; length < 0 && error != EAGAIN && error != EWOULDBLOCK)
                socketError = error;
            link.OnReceived(slot, length, now);
        } else {
            received = false;
        }
    }
    link.OnTimer(now);
    return received;
}

void CUDPSerialPort::RunWhile(CUDPLink::State state, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int untilDeadline;
        {
            std::lock_guard<std::mutex> guard(portLock);
            // The system's refusal (ICMP port unreachable) means the request
            // was lost, and the link asks again only a keep-alive interval later.
            if (link.GetState() != state || (state == CUDPLink::State::Connecting && socketError != 0))
                return;
            untilDeadline = link.MillisecondsToDeadline(TimeStampNow());
        }
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return;
        const int wait = std::min(untilDeadline, int(left.count()));
        if (!Step(WaitReadable(sock, -1, wait) == WaitResult::Readable))
            return;
    }
}

void CUDPSerialPort::DeliverReady()
{
    sUDPPayload ready[CUDPLink::kPoolSize];
    int count;
    {
        std::lock_guard<std::mutex> guard(portLock);
        count = link.TakeReady(ready);
    }
    if (count == 0)
        return;
    for (int k = 0; k < count; ++k)
        Deliver(ready[k].data, ready[k].length);
    std::lock_guard<std::mutex> guard(portLock);
    for (int k = 0; k < count; ++k)
        link.Release(ready[k].slot);
}

void CUDPSerialPort::ThreadMain()
{
    for (;;) {
        // Payloads taken while Open waited for the accept come first.
        DeliverReady();
        int wait;
        {
            std::lock_guard<std::mutex> guard(portLock);
            wait = link.MillisecondsToDeadline(TimeStampNow());
        }
        const WaitResult result = WaitReadable(sock, thread.StopFd(), wait);
        if (result == WaitResult::Stopped || thread.StopRequested())
            return;
        Step(result == WaitResult::Readable);
    }
}

}  // namespace TolvarRT
