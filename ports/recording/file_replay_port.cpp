#include "ports/recording/file_replay_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/ascii_case.h"
#include "ports/recording/recorded_side.h"
#include "ports/recording/rtklib_time_tags.h"

namespace TolvarRT {
namespace {

constexpr std::string_view kPrefix = "FILE:";
constexpr std::string_view kOptionMark = "::";

// How many sides of the recording with this session lie in the folder.
unsigned SidesOfSession(const std::string& dataPath, std::uint64_t session)
{
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::absolute(dataPath, ignored).parent_path();
    unsigned sides = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::uint64_t found = 0;
        const std::string path = entry.path().string();
        const bool ours = entry.path().extension() == ".tags" && ReadTimeTagSession(path, found);
        if ((ours || (entry.path().extension() == ".tag" && ReadRtklibSession(path, found))) && found == session)
            ++sides;
    }
    return std::max(sides, 1u);
}

// Bytes per second of a serial line at this baud rate, one start and one
// stop bit to each byte.
double LineBytesPerSecond(std::uint32_t baudRate)
{
    return double(baudRate == 0 ? 38400 : baudRate) / 10.0;
}

}  // namespace

bool ParseReplayName(const std::string& portName, sReplayName& parsed, std::string& error)
{
    parsed = sReplayName{};
    if (!StartsWithIgnoringCase(portName, kPrefix)) {
        error = "not a FILE: name";
        return false;
    }
    std::string rest = portName.substr(kPrefix.size());
    // Options are taken from the end while they look like one, so that a
    // path may hold "::" itself.
    for (std::size_t mark = rest.rfind(kOptionMark); mark != std::string::npos; mark = rest.rfind(kOptionMark)) {
        const std::string option = rest.substr(mark + kOptionMark.size());
        if (option == "T")
            parsed.timeTags = true;
        else if (!option.empty() && (option[0] == 'x' || option[0] == '+')) {
            const std::string number = option.substr(1);
            char* end = nullptr;
            const double value = std::strtod(number.c_str(), &end);
            if (number.empty() || *end != '\0' || !(value >= 0.0) || value > 1e6) {
                error = option[0] == 'x' ? "the speed after ::x is not a number from 0 up"
                                         : "the start after ::+ is not a number of seconds from 0 up";
                return false;
            }
            if (option[0] == 'x') {
                parsed.speed = value;
                parsed.speedGiven = true;
            } else
                parsed.startSeconds = value;
        } else
            break;
        rest.erase(mark);
    }
    if (rest.empty()) {
        error = "no file";
        return false;
    }
    parsed.path = rest;
    return true;
}

CFileReplayPort::~CFileReplayPort()
{
    Close();
}

bool CFileReplayPort::Open(const char* portName)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    sReplayName parsed;
    std::string error;
    if (portName == nullptr || !ParseReplayName(portName, parsed, error))
        return Fail(error);
    sRecordedSide recorded;
    if (!ReadRecordedSide(parsed.path, recorded, error))
        return Fail(error);
    if ((parsed.timeTags || parsed.startSeconds > 0.0) && !recorded.timed)
        return Fail(parsed.path + ": no time tags beside it (" + TimeTagPathFor(parsed.path) + " or " +
                    RtklibTagPathFor(parsed.path) + ")");
    if (!recorded.leftOut.empty())
        log.LogAlways("%s", recorded.leftOut.c_str());
    bytes = std::move(recorded.bytes);
    timed = recorded.timed;
    tags = std::move(recorded.tags);
    chunks = std::move(recorded.chunks);
    speed = timed || parsed.speedGiven ? parsed.speed : 0.0;
    name = portName;
    stopping = false;
    finished = false;
    if (timed) {
        const std::int64_t start = std::int64_t(std::llround(parsed.startSeconds * 1e9));
        const std::size_t skipped = SkipBefore(start);
        if (start > 0)
            log.LogAlways("%s: starting %g s into the recording, leaving out the %zu chunk%s recorded before",
                          parsed.path.c_str(), parsed.startSeconds, skipped, skipped == 1 ? "" : "s");
        originUnixSeconds = tags.clock.unixSeconds + double(start) / 1e9;
        if (tags.utcFromLocalDate)
            log.LogBasic("%s: no UTC in its time tags; the local date of its start is taken in this zone",
                         parsed.path.c_str());
        session = CReplaySession::Find(tags.clock.session, SidesOfSession(parsed.path, tags.clock.session));
        side = session->Join(tags.tags.empty() ? CReplaySession::kDone : tags.tags.front().nanoseconds);
    }
    open = true;
    return true;
}

CSerialPortInterface::ArrivalClock CFileReplayPort::ArrivalUtcClock() const
{
    if (!timed || session == nullptr)
        return {};
    // The session, not the port: the clock may be asked after the port is
    // gone, and the session's origin is fixed once the replay starts.
    return [session = session, origin = originUnixSeconds](TimeStamp stamp) {
        const std::optional<TimeStamp> start = session->Origin();
        return start ? origin + SecondsBetween(stamp, *start) : UnixSecondsAt(stamp);
    };
}

bool CFileReplayPort::Close()
{
    if (!open.load())
        return false;
    stopping = true;
    if (session != nullptr)
        session->Wake();
    thread.Stop();
    if (session != nullptr)
        session->Leave(side);
    session.reset();
    open = false;
    return true;
}

void CFileReplayPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (buffer && !buffer->empty())
        droppedWrites.fetch_add(1);
}

void CFileReplayPort::ThreadMain()
{
    if (timed)
        PlayTimed();
    else
        PlayCapture();
    if (!Stopping()) {
        finished = true;
        log.LogBasic("Replay of %s finished", name.c_str());
    }
    // Nothing more to read: the port stays open until it is closed.
    WaitReadable(-1, thread.StopFd(), -1);
}

void CFileReplayPort::PlayTimed()
{
    std::size_t tag = 0;
    for (const auto& [begin, end] : chunks) {
        // Bytes before the first tag (none in a recording) come with it.
        while (tag + 1 < tags.tags.size() && tags.tags[tag + 1].offset <= begin)
            ++tag;
        const std::int64_t at = tags.tags.empty() ? 0 : tags.tags[tag].nanoseconds;
        TimeStamp stamp = 0;
        if (!session->WaitTurn(
                side, at, speed, [this] { return Stopping(); }, stamp))
            return;
        DeliverStamped(bytes.data() + begin, std::uint32_t(end - begin), stamp);
    }
    session->SetNext(side, CReplaySession::kDone);
}

std::size_t CFileReplayPort::SkipBefore(std::int64_t nanoseconds)
{
    // The chunks go with their tags in order: both lose their heads alike,
    // and what is left plays from the start time on as from 0.
    std::size_t tag = 0;
    while (tag < tags.tags.size() && tags.tags[tag].nanoseconds < nanoseconds)
        ++tag;
    const std::uint64_t from = tag < tags.tags.size() ? tags.tags[tag].offset : bytes.size();
    std::size_t chunk = 0;
    while (chunk < chunks.size() && chunks[chunk].first < from)
        ++chunk;
    chunks.erase(chunks.begin(), chunks.begin() + std::ptrdiff_t(chunk));
    tags.tags.erase(tags.tags.begin(), tags.tags.begin() + std::ptrdiff_t(tag));
    for (sTimeTag& kept : tags.tags)
        kept.nanoseconds -= nanoseconds;
    return chunk;
}

void CFileReplayPort::PlayCapture()
{
    const auto start = std::chrono::steady_clock::now();
    const double rate = speed * LineBytesPerSecond(settings.baudRate);
    for (std::size_t offset = 0; offset < bytes.size(); offset += kChunkSize) {
        if (rate > 0.0) {
            // Due times from the start, so waits that run late do not add up.
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(double(offset) / rate));
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
            if (left.count() > 0 && WaitReadable(-1, thread.StopFd(), int(left.count())) == WaitResult::Stopped)
                return;
        }
        if (Stopping())
            return;
        Deliver(bytes.data() + offset, std::uint32_t(std::min(kChunkSize, bytes.size() - offset)));
    }
}

}  // namespace TolvarRT
