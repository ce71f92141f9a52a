// The TCP client port: one poll() on the socket, the stop eventfd and the
// write-queued eventfd; a peer that stops taking bytes counts as lost.
#include "ports/network/tcp_serial_port.h"

#include <cerrno>
#include <chrono>
#include <thread>

namespace TolvarRT {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kBreakDelay{300};
constexpr std::size_t kChunkSize = 1024;

// A data-collector packet of type 0x6F carrying "TCPBREAK": the converter
// turns it into a break on its serial line.
constexpr std::uint8_t kBreakPacket[] = {0x02, 0x00, 0x6F, 0x08, 0x54, 0x43, 0x50,
                                         0x42, 0x52, 0x45, 0x41, 0x4B, 0xC3, 0x03};

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
    writeQueued.Consume();
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetName(portName);
    }
    return OpenConnection(parsed, portName);
}

bool CTCPSerialPort::Handshake(int /*fd*/, int /*stopFd*/, std::string& /*failure*/)
{
    DropQueue();
    return true;
}

void CTCPSerialPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (!buffer || buffer->empty() || !IsConnected())
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
    CReconnectingPort::SetLogPipe(pipe);
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

bool CTCPSerialPort::Serve(int fd)
{
    const Clock::time_point stallAt = StallDeadline();
    const bool waiting = stallAt != Clock::time_point::max();
    const sSocketReadiness ready =
        WaitSocket(fd, waiting, thread.StopFd(), writeQueued.Fd(), waiting ? MillisecondsUntil(stallAt) : -1);
    if (ready.stopped)
        return true;
    if (ready.woken)
        writeQueued.Consume();
    if (ready.readable) {
        std::uint8_t buffer[kChunkSize];
        const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
        if (count > 0)
            Deliver(buffer, std::uint32_t(count));
        else if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
    }
    // Also after a wait that timed out: a stalled queue is found here.
    return PumpWrites(fd);
}

void CTCPSerialPort::Lost(std::chrono::milliseconds /*lasted*/, bool /*steady*/,
                          std::chrono::milliseconds /*nextPause*/)
{
    log.LogBasic("%s: the connection was lost; reconnecting", name.c_str());
    DropQueue();
}

void CTCPSerialPort::Connected(bool again)
{
    if (again)
        log.LogBasic("%s: connected again", name.c_str());
}

}  // namespace TolvarRT
