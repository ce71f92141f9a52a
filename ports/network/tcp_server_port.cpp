#include "ports/network/tcp_server_port.h"

#include <cerrno>
#include <string>

#include "ports/network/socket.h"

namespace TolvarRT {
namespace {

constexpr std::string_view kPrefix = "TCPSVR:";
constexpr std::size_t kChunkSize = 1024;

}  // namespace

bool ParseServerPortName(std::string_view name, sNetAddress& address, std::string& failure)
{
    return ParseListenPortName(name, kPrefix, address, failure);
}

CTCPServerPort::~CTCPServerPort()
{
    Close();
}

bool CTCPServerPort::Open(const char* portName)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    sNetAddress address;
    std::string failure = "not a TCPSVR:[addr:]port name";
    if (portName == nullptr || !ParseServerPortName(portName, address, failure))
        return Fail(failure);
    const int fd = ListenSocket(address.host, address.port, &failure);
    if (fd < 0)
        return Fail(failure);
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.Clear();
        headSent = 0;
        writeQueue.SetName(portName);
    }
    writeQueued.Consume();
    name = portName;
    listenFd = fd;
    boundPort = SocketPort(fd);
    accepted = 0;
    droppedWithoutClient = 0;
    listening = true;
    return true;
}

bool CTCPServerPort::Close()
{
    if (!listening.load())
        return false;
    thread.Stop();
    DropClient();
    CloseSocket(listenFd);
    listening = false;
    return true;
}

void CTCPServerPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (!buffer || buffer->empty())
        return;
    if (!clientConnected.load()) {
        droppedWithoutClient.fetch_add(1);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(queueLock);
        if (!writeQueue.Push(std::move(buffer), false, headSent > 0))
            return;
    }
    writeQueued.Signal();
}

void CTCPServerPort::SetLogPipe(CLogPipe* pipe)
{
    log.Attach(pipe);
    std::lock_guard<std::mutex> guard(queueLock);
    writeQueue.SetLogPipe(pipe);
}

bool CTCPServerPort::HasQueued()
{
    std::lock_guard<std::mutex> guard(queueLock);
    return !writeQueue.Empty();
}

void CTCPServerPort::DropClient()
{
    CloseSocket(client);
    clientConnected = false;
    std::lock_guard<std::mutex> guard(queueLock);
    writeQueue.Clear();
    headSent = 0;
}

void CTCPServerPort::AcceptClient()
{
    const int fresh = AcceptSocket(listenFd);
    if (fresh < 0) {
        // Out of descriptors the client stays waiting and the socket readable:
        // a pause, so the thread does not spin until one is free.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ECONNABORTED)
            WaitReadable(-1, thread.StopFd(), 100);
        return;
    }
    SetKeepAlive(fresh);
    if (client >= 0)
        log.LogBasic("%s: a new client replaces the connected one", name.c_str());
    else
        log.LogBasic("%s: a client connected", name.c_str());
    // Also with no client before: a write that raced the last one's leaving
    // was never meant for this one.
    DropClient();
    client = fresh;
    accepted.fetch_add(1);
    clientConnected = true;
}

bool CTCPServerPort::PumpWrites()
{
    std::lock_guard<std::mutex> guard(queueLock);
    while (!writeQueue.Empty()) {
        PortBuffer& head = writeQueue.Head();
        const ssize_t sent = SocketSendSome(client, head.data() + headSent, head.size() - headSent);
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK;
        headSent += std::size_t(sent);
        if (headSent >= head.size()) {
            writeQueue.PopHead();
            headSent = 0;
        }
    }
    return true;
}

void CTCPServerPort::ThreadMain()
{
    std::uint8_t buffer[kChunkSize];
    while (!thread.StopRequested()) {
        const sServerReadiness ready =
            WaitServer(listenFd, client, client >= 0 && HasQueued(), thread.StopFd(), writeQueued.Fd());
        if (ready.stopped)
            continue;
        if (ready.woken)
            writeQueued.Consume();
        // The current client's bytes first: they came before the client that replaces it.
        if (client >= 0 && ready.readable) {
            const ssize_t count = SocketReceive(client, SocketKind::Stream, buffer, sizeof buffer);
            if (count > 0)
                Deliver(buffer, std::uint32_t(count));
            else if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                log.LogBasic("%s: the client disconnected", name.c_str());
                DropClient();
            }
        }
        if (ready.incoming)
            AcceptClient();
        if (client >= 0 && !PumpWrites()) {
            log.LogBasic("%s: sending to the client failed", name.c_str());
            DropClient();
        }
    }
}

}  // namespace TolvarRT
