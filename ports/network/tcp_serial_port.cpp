// The TCP client port: one poll() on the socket and the stop eventfd, and a
// reconnect loop that backs off between failed attempts.
#include "ports/network/tcp_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace TolvarRT {
namespace {

using std::chrono::milliseconds;

constexpr int kConnectTimeoutMs = 5000;
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
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return int(std::clamp<decltype(left)>(left, 0, 1000 * 1000));
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
    DropQueue();
    writeQueued.Consume();
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetName(portName);
    }
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
    DropQueue();
    std::lock_guard<std::mutex> guard(portLock);
    CloseSocket(sock);
    state = State::Closed;
    return true;
}

void CTCPSerialPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (!buffer || buffer->empty() || state.load() != State::Connected)
        return;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        // The stall is timed from when bytes begin to wait.
        if (writeQueue.Empty())
            lastProgress = Clock::now();
        if (!writeQueue.Push(std::move(buffer), false, headSent > 0))
            return;
    }
    writeQueued.Signal();
}

void CTCPSerialPort::SendBreak(unsigned /*milliseconds*/)
{
    std::this_thread::sleep_for(kBreakDelay);
    QueueWrite(std::make_unique<PortBuffer>(std::begin(kBreakPacket), std::end(kBreakPacket)));
}

void CTCPSerialPort::SetLogPipe(CLogPipe* pipe)
{
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetLogPipe(pipe);
    }
    log.Attach(pipe);
}

std::size_t CTCPSerialPort::QueuedBytes()
{
    std::lock_guard<std::mutex> guard(queueLock);
    return writeQueue.QueuedBytes() - headSent;
}

std::uint64_t CTCPSerialPort::DroppedWrites()
{
    std::lock_guard<std::mutex> guard(queueLock);
    return writeQueue.DroppedBuffers();
}

void CTCPSerialPort::DropQueue()
{
    std::lock_guard<std::mutex> guard(queueLock);
    writeQueue.Clear();
    headSent = 0;
}

CTCPSerialPort::Clock::time_point CTCPSerialPort::StallDeadline()
{
    std::lock_guard<std::mutex> guard(queueLock);
    if (writeQueue.Empty())
        return Clock::time_point::max();
    return lastProgress + milliseconds(stallLimitMs.load());
}

bool CTCPSerialPort::PumpWrites(int fd)
{
    std::lock_guard<std::mutex> guard(queueLock);
    const Clock::time_point now = Clock::now();
    while (!writeQueue.Empty()) {
        PortBuffer& head = writeQueue.Head();
        const ssize_t sent = SocketSendSome(fd, head.data() + headSent, head.size() - headSent);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            return now - lastProgress < milliseconds(stallLimitMs.load());
        }
        lastProgress = now;
        headSent += std::size_t(sent);
        if (headSent >= head.size()) {
            writeQueue.PopHead();
            headSent = 0;
        }
    }
    return true;
}

bool CTCPSerialPort::MarkLost(int fd)
{
    if (state != State::Connected || sock != fd)
        return false;
    state = State::Reconnecting;
    // Wakes the reader thread, which closes the socket and reconnects.
    ShutdownSocket(fd);
    return true;
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
            const Clock::time_point stallAt = StallDeadline();
            const bool waiting = stallAt != Clock::time_point::max();
            const sSocketReadiness ready =
                WaitSocket(fd, waiting, thread.StopFd(), writeQueued.Fd(), waiting ? MillisecondsUntil(stallAt) : -1);
            if (ready.stopped)
                continue;
            if (ready.woken)
                writeQueued.Consume();
            bool lost = false;
            if (ready.readable) {
                const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
                if (count > 0)
                    Deliver(buffer, std::uint32_t(count));
                else
                    lost = count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            }
            // Also after a wait that timed out: a stalled queue is found here.
            if (!lost && !PumpWrites(fd))
                lost = true;
            if (!lost)
                continue;
            bool marked;
            {
                std::lock_guard<std::mutex> guard(portLock);
                marked = MarkLost(fd);
            }
            if (marked)
                log.LogBasic("%s: the connection was lost; reconnecting", name.c_str());
            DropQueue();
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
            // Nothing queued for the lost connection goes to the new one.
            DropQueue();
            std::lock_guard<std::mutex> guard(portLock);
            if (state == State::Reconnecting) {
                sock = fresh;
                state = State::Connected;
                connectedAt = Clock::now();
                log.LogBasic("%s: connected again", name.c_str());
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
