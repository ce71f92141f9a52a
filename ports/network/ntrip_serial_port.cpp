// The NTRIP client port: one poll() on the socket and the stop eventfd, with
// a time-out only for the next position sentence; the reconnect loop doubles
// its pause after each failed attempt.
#include "ports/network/ntrip_serial_port.h"

#include <cerrno>

namespace TolvarRT {
namespace {

using std::chrono::milliseconds;

// A caster that has not answered by then is not going to.
constexpr milliseconds kAnswerTimeout{10000};
constexpr std::size_t kChunkSize = 1024;

// Room in a failure text: the failed-attempt log line adds its time stamps,
// the port's name (at most a name's limit) and "; next attempt in ... ms",
// and a text too long for the line would not be logged at all.
constexpr std::size_t kLogLineFrame = 120;
constexpr std::size_t kFailureRoom = CLogPipe::kLineSize - kLogLineFrame - kNtripNameLimit;
// What the end of a cut list needs: " and at least N more (...)".
constexpr std::size_t kListTailRoom = 100;

// As many of the names as fit in room, then how many were left out: the list
// is cut, never the text around it.
std::string MountpointList(const CNtripReply& reply, std::size_t room)
{
    const std::vector<sNtripMountpoint>& mountpoints = reply.Mountpoints();
    std::string list;
    std::size_t shown = 0;
    for (const sNtripMountpoint& mountpoint : mountpoints) {
        const std::string entry = mountpoint.name + (mountpoint.wantsPosition ? " (needs a GGA position)" : "");
        if (list.size() + 2 + entry.size() > room)
            break;
        if (!list.empty())
            list += ", ";
        list += entry;
        ++shown;
    }
    const std::size_t more = mountpoints.size() - shown + reply.MountpointsLeftOut();
    if (more > 0)
        list += (list.empty() ? "" : " and ") + std::string(reply.TableCut() ? "at least " : "") +
                std::to_string(more) + (list.empty() ? " not shown" : " more");
    if (reply.TableCut())
        list += (list.empty() ? "none read" : "") + std::string(" (the list was too long to read to its end)");
    return list.empty() ? "none" : list;
}

// What a person reads when the caster gave no stream; never longer than the
// failure room.
std::string NoStreamText(const CNtripReply& reply, const sNtripAddress& address)
{
    const std::string caster = address.caster.host + ":" + std::to_string(address.caster.port);
    switch (reply.Result()) {
    case CNtripReply::Outcome::Refused:
        return "the caster " + caster + " refused user \"" + address.user + "\" or its password (401 Unauthorized)";
    case CNtripReply::Outcome::Sourcetable: {
        const std::string head = (address.mountpoint.empty()
                                      ? "no mountpoint given"
                                      : "the caster " + caster + " has no mountpoint \"" + address.mountpoint + "\"") +
                                 "; its mountpoints: ";
        const std::size_t used = head.size() + kListTailRoom;
        return head + MountpointList(reply, used < kFailureRoom ? kFailureRoom - used : 0);
    }
    case CNtripReply::Outcome::Ended: return "the caster " + caster + " ended the stream";
    default: return reply.Failure().empty() ? "no answer from the caster " + caster : reply.Failure();
    }
}

}  // namespace

CNtripSerialPort::~CNtripSerialPort()
{
    Close();
}

milliseconds CNtripSerialPort::RetryDelay(unsigned failedAttempts, milliseconds unit)
{
    return CReconnectBackoff::Pause(failedAttempts > 0 ? failedAttempts - 1 : 0, unit, kLongestRetryFactor);
}

void CNtripSerialPort::SetGgaPosition(std::optional<sGgaPosition> newPosition)
{
    std::lock_guard<std::mutex> guard(portLock);
    position = newPosition;
}

std::string CNtripSerialPort::LastProblem()
{
    std::lock_guard<std::mutex> guard(portLock);
    return lastProblem;
}

bool CNtripSerialPort::Handshake(int fd, int stopFd, std::string& failure)
{
    firstBytes.clear();
    reply = CNtripReply(tableLimits);
    const std::string request = NtripRequest(address);
    SetSendTimeout(fd, int(kAnswerTimeout.count()));
    if (SocketSendAll(fd, request.data(), request.size()) != request.size()) {
        failure = "the caster " + address.caster.host + " did not take the request";
        return false;
    }
    const Clock::time_point deadline = Clock::now() + kAnswerTimeout;
    std::uint8_t buffer[kChunkSize];
    CNtripReply::Outcome outcome = CNtripReply::Outcome::Waiting;
    while (outcome == CNtripReply::Outcome::Waiting) {
        const WaitResult waited = WaitReadable(fd, stopFd, MillisecondsUntil(deadline));
        if (waited == WaitResult::Stopped) {
            failure = "closed";
            return false;
        }
        if (waited == WaitResult::Timeout) {
            failure = "no answer from the caster " + address.caster.host + " within " +
                      std::to_string(kAnswerTimeout.count() / 1000) + " s";
            return false;
        }
        const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
        if (count > 0)
            outcome = reply.Feed(buffer, std::size_t(count), firstBytes);
        else if (count == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            outcome = reply.Finish();
    }
    if (outcome == CNtripReply::Outcome::Streaming)
        return true;
    failure = NoStreamText(reply, address);
    return false;
}

bool CNtripSerialPort::Open(const char* portName)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    sNtripAddress parsed;
    std::string failure = "not an NTRIP:host/mountpoint name";
    if (portName == nullptr || !ParseNtripPortName(portName, parsed, &failure))
        return Fail(std::move(failure));
    address = parsed;
    {
        std::lock_guard<std::mutex> guard(portLock);
        lastProblem.clear();
    }
    ggaSent.store(0);
    return OpenConnection(parsed.caster, MaskNtripPassword(portName));
}

void CNtripSerialPort::QueueWrite(OwnedPortBuffer /*buffer*/) {}

void CNtripSerialPort::SendBreak(unsigned /*milliseconds*/) {}

bool CNtripSerialPort::SendGga(int fd)
{
    std::optional<sGgaPosition> where;
    {
        std::lock_guard<std::mutex> guard(portLock);
        where = position;
    }
    if (!where)
        return true;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto secondsOfDay = unsigned(std::chrono::duration_cast<std::chrono::seconds>(now).count() % 86400);
    const std::string sentence = GgaSentence(*where, secondsOfDay);
    if (SocketSendAll(fd, sentence.data(), sentence.size()) != sentence.size())
        return false;
    ggaSent.fetch_add(1);
    return true;
}

void CNtripSerialPort::Connected(bool again)
{
    if (!again) {
        std::lock_guard<std::mutex> guard(portLock);
        wantsGga = position.has_value();
    }
    nextGga = Clock::now();
    if (again)
        log.LogBasic("%s: reconnected to the caster", name.c_str());
    if (!firstBytes.empty()) {
        Deliver(firstBytes.data(), std::uint32_t(firstBytes.size()));
        firstBytes.clear();
    }
}

bool CNtripSerialPort::Serve(int fd)
{
    if (wantsGga && Clock::now() >= nextGga) {
        const bool sent = SendGga(fd);
        nextGga = Clock::now() + milliseconds(ggaIntervalMs.load());
        if (!sent)
            return false;
    }
    const sSocketReadiness ready =
        WaitSocket(fd, false, thread.StopFd(), -1, wantsGga ? MillisecondsUntil(nextGga) : -1);
    if (ready.stopped || !ready.readable)
        return true;
    std::uint8_t buffer[kChunkSize];
    const ssize_t count = SocketReceive(fd, SocketKind::Stream, buffer, sizeof buffer);
    if (count <= 0)
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    body.clear();
    const CNtripReply::Outcome outcome = reply.Feed(buffer, std::size_t(count), body);
    if (!body.empty())
        Deliver(body.data(), std::uint32_t(body.size()));
    return outcome == CNtripReply::Outcome::Streaming;
}

void CNtripSerialPort::Lost(milliseconds lasted, bool steady, milliseconds nextPause)
{
    if (steady)
        log.LogBasic("%s: the caster's stream was lost; next attempt in %lld ms", name.c_str(),
                     (long long)nextPause.count());
    else
        log.LogBasic("%s: the caster's stream ended %lld ms after it began; next attempt in %lld ms", name.c_str(),
                     (long long)lasted.count(), (long long)nextPause.count());
}

void CNtripSerialPort::AttemptFailed(const std::string& failure, milliseconds nextPause)
{
    {
        std::lock_guard<std::mutex> guard(portLock);
        lastProblem = failure;
    }
    log.LogBasic("%s: %s; next attempt in %lld ms", name.c_str(), failure.c_str(), (long long)nextPause.count());
}

}  // namespace TolvarRT
