// The TCP client port: one poll() on the socket and the stop eventfd, and a
// reconnect loop that backs off between failed attempts.
#include "ports/tcp_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace TolvarRT {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kConnectTimeoutMs = 5000;
// A peer that stops reading must not hold the port lock for ever.
constexpr int kSendTimeoutMs = 5000;
constexpr milliseconds kFirstRetryDelay{1000};
constexpr milliseconds kLastRetryDelay{5000};
constexpr milliseconds kBreakDelay{300};
constexpr std::size_t kChunkSize = 1024;

// A data-collector packet of type 0x6F carrying "TCPBREAK": the converter
// turns it into a break on its serial line.
constexpr std::uint8_t kBreakPacket[] = {0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50,
                                         0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};

void PrepareSocket(int fd)
{
    SetKeepAlive(fd);
    SetSendTimeout(fd, kSendTimeoutMs);
}

}  // namespace

CTCPSerialPort::~CTCPSerialPort()
{
    Close();
}

bool CTCPSerialPort::Open(const char* portName)
{
    sNetAddress parsed;
    if (!ReadyToOpen(portName, "TCP:", parsed))
        return false;
    const int fd = ConnectForOpen(parsed, SocketKind::Stream, kConnectTimeoutMs);
    if (fd < 0)
        return false;
    PrepareSocket(fd);
    std::lock_guard<std::mutex> guard(portLock);
    name = portName;
    address = parsed;
    sock = fd;
    state = State::Connected;
    reconnectAttempts.store(0);
    return true;
}

bool CTCPSerialPort::IsOpen()
{
    return state.load() != State::Closed;
}

bool CTCPSerialPort::IsConnected()
{
    return state.load() == State::Connected;
}

bool CTCPSerialPort::Close()
{
    {
        std::lock_guard<std::mutex> guard(portLock);
        if (state == State::Closed)
            return false;
        state = State::Closing;
    }
    thread.Stop();
    std::lock_guard<std::mutex> guard(portLock);
    CloseSocket(sock);
    state = State::Closed;
    return true;
}

void CTCPSerialPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (buffer)
        Send(buffer->data(), buffer->size());
}

void CTCPSerialPort::SendBreak(unsigned /*milliseconds*/)
{
    std::this_thread::sleep_for(kBreakDelay);
    Send(kBreakPacket, sizeof kBreakPacket);
}

void CTCPSerialPort::Send(const std::uint8_t* data, std::size_t length)
{
    std::lock_guard<std::mutex> guard(portLock);
    if (state != State::Connected || length == 0)
        return;
    if (SocketSendAll(sock, data, length) < length)
        MarkLost(sock);
}

void CTCPSerialPort::MarkLost(int fd)
{
    if (state != State::Connected || sock != fd)
        return;
    state = State::Reconnecting;
    // Wakes the reader thread, which closes the socket and reconnects.
    ShutdownSocket(fd);
}

void CTCPSerialPort::ThreadMain()
{
    std::uint8_t buffer[kChunkSize];
    milliseconds retryDelay = kFirstRetryDelay;
    bool waitBeforeAttempt = false;
    Clock::time_point connectedAt = Clock::now();
    while (!thread.StopRequested()) {
        State now;
        int fd;
        {
            std::lock_guard<std::mutex> guard(portLock);
            now = state;
            fd = sock;
        }
        if (now == State::Connected) {
            if (WaitReadable(fd, thread.StopFd(), -1) != WaitResult::Readable)
                continue;
            const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
            if (count > 0) {
                Deliver(buffer, std::uint32_t(count));
                continue;
            }
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            {
                std::lock_guard<std::mutex> guard(portLock);
                MarkLost(fd);
            }
            // A connection that drops soon after it was made counts as a failed
            // attempt, so a peer that accepts and hangs up is not hammered.
            if (Clock::now() - connectedAt >= kLastRetryDelay) {
                retryDelay = kFirstRetryDelay;
                waitBeforeAttempt = false;
            } else {
                waitBeforeAttempt = true;
            }
        } else if (now == State::Reconnecting) {
            {
                std::lock_guard<std::mutex> guard(portLock);
                CloseSocket(sock);
            }
            if (waitBeforeAttempt) {
                if (WaitReadable(-1, thread.StopFd(), int(retryDelay.count())) == WaitResult::Stopped)
                    break;
                retryDelay = std::min(retryDelay * 2, kLastRetryDelay);
            }
            reconnectAttempts.fetch_add(1);
            int fresh = ConnectSocket(address, SocketKind::Stream, thread.StopFd(), kConnectTimeoutMs);
            waitBeforeAttempt = true;
            if (fresh < 0)
                continue;
            PrepareSocket(fresh);
            std::lock_guard<std::mutex> guard(portLock);
            if (state == State::Reconnecting) {
                sock = fresh;
                state = State::Connected;
                connectedAt = Clock::now();
            } else {
                CloseSocket(fresh);
            }
        } else {
            // Closing: only the stop is left to wait for.
            WaitReadable(-1, thread.StopFd(), -1);
        }
    }
}

}  // namespace TolvarRT
