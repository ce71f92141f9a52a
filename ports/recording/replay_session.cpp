#include "ports/recording/replay_session.h"

#include <vector>

namespace TolvarRT {

namespace {

// Sessions live as long as a port holds them; a later replay of the same
// recording starts a clock of its own.
std::mutex registryLock;
std::map<std::uint64_t, std::weak_ptr<CReplaySession>> registry;

}  // namespace

void CReplaySession::StartAll()
{
    std::lock_guard<std::mutex> guard(registryLock);
    for (const auto& entry : registry) {
        if (const std::shared_ptr<CReplaySession> session = entry.second.lock()) {
            std::lock_guard<std::mutex> sessionGuard(session->lock);
            session->released = true;
            session->changed.notify_all();
        }
    }
}

std::shared_ptr<CReplaySession> CReplaySession::Find(std::uint64_t session, unsigned expectedSides)
{
    std::lock_guard<std::mutex> guard(registryLock);
    std::shared_ptr<CReplaySession> found = registry[session].lock();
    if (found == nullptr) {
        found = std::make_shared<CReplaySession>(expectedSides);
        registry[session] = found;
    }
    return found;
}

int CReplaySession::Join(std::int64_t firstNanoseconds)
{
    std::lock_guard<std::mutex> guard(lock);
    lastJoin = Clock::now();
    if (joined++ == 0)
        firstJoin = lastJoin;
    const int side = nextId++;
    next[side] = firstNanoseconds;
    changed.notify_all();
    return side;
}

void CReplaySession::Leave(int side)
{
    std::lock_guard<std::mutex> guard(lock);
    next.erase(side);
    changed.notify_all();
}

void CReplaySession::SetNext(int side, std::int64_t nanoseconds)
{
    std::lock_guard<std::mutex> guard(lock);
    next[side] = nanoseconds;
    changed.notify_all();
}

void CReplaySession::Wake()
{
    std::lock_guard<std::mutex> guard(lock);
    changed.notify_all();
}

std::optional<TimeStamp> CReplaySession::Origin()
{
    std::lock_guard<std::mutex> guard(lock);
    if (!started)
        return std::nullopt;
    return start.time_since_epoch().count();
}

bool CReplaySession::Started(Clock::time_point now)
{
    if (!started && (released || (joined >= expected && now >= lastJoin + kSettle) || now >= firstJoin + kJoinWait)) {
        started = true;
        start = now;
    }
    return started;
}

std::optional<std::int64_t> CReplaySession::PlayedUpTo(Clock::time_point now)
{
    if (!started)
        return std::nullopt;
    // Every chunk before the earliest one waiting has been delivered.
    std::int64_t played = lastDelivered;
    bool waiting = false;
    for (const auto& [side, at] : next)
        if (at != kDone) {
            played = waiting ? std::min(played, at) : at;
            waiting = true;
        }
    if (playSpeed > 0.0) {
        const double elapsed = std::chrono::duration<double, std::nano>(now - start).count() * playSpeed;
        played = std::min(played, std::int64_t(elapsed));
    }
    return std::max<std::int64_t>(played, 0);
}

TimeStamp CReplaySession::LinkTimeNow()
{
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> guard(registryLock);
    for (const auto& entry : registry) {
        const std::shared_ptr<CReplaySession> session = entry.second.lock();
        if (session == nullptr)
            continue;
        std::lock_guard<std::mutex> sessionGuard(session->lock);
        if (const std::optional<std::int64_t> played = session->PlayedUpTo(now))
            return (session->start + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(*played)))
                .time_since_epoch()
                .count();
    }
    return TimeStampNow();
}

bool CReplaySession::IsEarliest(int side, std::int64_t nanoseconds) const
{
    for (const auto& [other, at] : next)
        if (other != side && at < nanoseconds)
            return false;
    return true;
}

}  // namespace TolvarRT
