#include "ports/replay_session.h"

#include <vector>

namespace TolvarRT {

std::shared_ptr<CReplaySession> CReplaySession::Find(std::uint64_t session, unsigned expectedSides)
{
    // Sessions live as long as a port holds them; a later replay of the same
    // recording starts a clock of its own.
    static std::mutex registryLock;
    static std::map<std::uint64_t, std::weak_ptr<CReplaySession>> registry;
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
    if (joined++ == 0)
        firstJoin = Clock::now();
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

bool CReplaySession::Started(Clock::time_point now)
{
    if (!started && (joined >= expected || now >= firstJoin + kJoinWait)) {
        started = true;
        start = now;
    }
    return started;
}

bool CReplaySession::IsEarliest(int side, std::int64_t nanoseconds) const
{
    for (const auto& [other, at] : next)
        if (other != side && at < nanoseconds)
            return false;
    return true;
}

}  // namespace TolvarRT
