// The reconnect loop: one wait at a time on the live connection, and when it
// is lost, a pause (cut short by Close), a fresh connection and the port's
// handshake, until one brings a stream again.
#include "ports/network/reconnecting_port.h"

#include <algorithm>
#include <utility>

namespace TolvarRT {

using std::chrono::milliseconds;

bool CReconnectBackoff::Lost(milliseconds lasted, milliseconds unit)
{
    if (lasted < unit * rule.steadyUnits)
        return false;
    waited = 0;
    atOnce = rule.firstAttemptAtOnce;
    return true;
}

milliseconds CReconnectBackoff::NextPause(milliseconds unit) const
{
    return atOnce ? milliseconds(0) : Pause(waited, unit, rule.longestFactor);
}

void CReconnectBackoff::Attempting()
{
    if (!atOnce)
        ++waited;
    atOnce = false;
}

milliseconds CReconnectBackoff::Pause(unsigned waitedBefore, milliseconds unit, unsigned longestFactor)
{
    unsigned factor = 1;
    for (unsigned i = 0; i < waitedBefore && factor < longestFactor; ++i)
        factor *= 2;
    return unit * std::min(factor, longestFactor);
}

int CReconnectingPort::MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<decltype(left)>(left, 0, 1000 * 1000));
}

bool CReconnectingPort::OpenConnection(const sNetAddress& address, std::string shownName)
{
    int fd = ConnectForOpen(address, SocketKind::Stream, kConnectTimeoutMs);
    if (fd < 0)
        return false;
    SetKeepAlive(fd);
    std::string failure;
    if (!Handshake(fd, -1, failure)) {
        CloseSocket(fd);
        return Fail(std::move(failure));
    }
    std::lock_guard<std::mutex> guard(portLock);
    name = std::move(shownName);
    peer = address;
    sock = fd;
    state = State::Connected;
    reconnectAttempts.store(0);
    return true;
}

bool CReconnectingPort::IsOpen()
{
    return state.load() != State::Closed;
}

bool CReconnectingPort::Close()
{
    {
        std::lock_guard<std::mutex> guard(portLock);
        if (state == State::Closed)
            return false;
        state = State::Closing;
    }
    thread.Stop();
    Stopped();
    std::lock_guard<std::mutex> guard(portLock);
    CloseSocket(sock);
    state = State::Closed;
    return true;
}

bool CReconnectingPort::MarkLost(int fd)
{
    if (state != State::Connected || sock != fd)
        return false;
    state = State::Reconnecting;
    // The peer hears of it now; the socket is closed before the next attempt.
    ShutdownSocket(fd);
    return true;
}

void CReconnectingPort::ThreadMain()
{
    CReconnectBackoff backoff(ReconnectRule());
    Clock::time_point connectedAt = Clock::now();
    Connected(false);
    while (!thread.StopRequested()) {
        State now;
        int fd;
        {
            std::lock_guard<std::mutex> guard(portLock);
            now = state;
            fd = sock;
        }
        if (now == State::Connected) {
            if (Serve(fd))
                continue;
            const auto lasted = std::chrono::duration_cast<milliseconds>(Clock::now() - connectedAt);
            const bool steady = backoff.Lost(lasted, RetryUnit());
            bool marked;
            {
                std::lock_guard<std::mutex> guard(portLock);
                marked = MarkLost(fd);
            }
            if (marked)
                Lost(lasted, steady, backoff.NextPause(RetryUnit()));
        } else if (now == State::Reconnecting) {
            {
                std::lock_guard<std::mutex> guard(portLock);
                CloseSocket(sock);
            }
            const milliseconds pause = backoff.NextPause(RetryUnit());
            if (pause.count() > 0 && WaitReadable(-1, thread.StopFd(), int(pause.count())) == WaitResult::Stopped)
                break;
            backoff.Attempting();
            reconnectAttempts.fetch_add(1);
            std::string failure;
            int fresh = ConnectSocket(peer, SocketKind::Stream, thread.StopFd(), kConnectTimeoutMs, &failure);
            if (fresh >= 0) {
                SetKeepAlive(fresh);
                if (!Handshake(fresh, thread.StopFd(), failure))
                    CloseSocket(fresh);
            }
            if (thread.StopRequested()) {
                CloseSocket(fresh);
                break;
            }
            if (fresh < 0) {
                AttemptFailed(failure, backoff.NextPause(RetryUnit()));
                continue;
            }
            {
                std::lock_guard<std::mutex> guard(portLock);
                if (state != State::Reconnecting) {
                    CloseSocket(fresh);
                    continue;
                }
                sock = fresh;
                state = State::Connected;
            }
            connectedAt = Clock::now();
            Connected(true);
        } else {
            // Closing: only the stop is left to wait for.
            WaitReadable(-1, thread.StopFd(), -1);
        }
    }
}

}  // namespace TolvarRT
