// The one clock that the replayed sides of a recording share. Each side
// plays on its own port thread; the session starts them together, maps the
// recorded times onto this run's clock the same way for every side, and
// keeps their chunks in recorded order, so a frame of the Source is seen
// before the Listener's copy of it exactly as in the live run, at any speed.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "core/time_base.h"

namespace TolvarRT {

// Thread rules: every operation may be called from any thread; Join and
// Leave by a port's owner, WaitTurn by its reader thread.
class CReplaySession {
public:
    // A side that is not joined by the other sides of its recording waits
    // this long before it plays alone.
    static constexpr std::chrono::seconds kJoinWait{15};
    // Once every side has joined, their owners get this long to finish
    // connecting (identity requests, the ties between the sides' statistics)
    // before the first chunk, unless they start the replay sooner.
    static constexpr std::chrono::seconds kSettle{3};

    // Every side of every session has joined and its owner is ready: the
    // replays start now, with the sides they have.
    static void StartAll();

    // The session of a recording, shared by every port that replays one of
    // its sides; expectedSides is how many sides the recording has.
    static std::shared_ptr<CReplaySession> Find(std::uint64_t session, unsigned expectedSides);

    explicit CReplaySession(unsigned expectedSides) : expected(expectedSides) {}

    // Enters a side whose first chunk comes at firstNanoseconds; returns its id.
    int Join(std::int64_t firstNanoseconds);
    void Leave(int side);
    // The side's next chunk comes at nanoseconds (kDone: it has no more).
    void SetNext(int side, std::int64_t nanoseconds);
    static constexpr std::int64_t kDone = INT64_MAX;

    // Waits until the side may deliver its chunk recorded at nanoseconds:
    // every side has joined (or kJoinWait has passed), no other side has an
    // earlier chunk waiting, and, unless speed is 0, the chunk's due time
    // (the recorded time divided by speed after the start) has come. Then
    // stamp is the recorded time on this run's clock. False once stopped()
    // is true after a Wake.
    template <class Stopped>
    bool WaitTurn(int side, std::int64_t nanoseconds, double speed, Stopped stopped, TimeStamp& stamp);
    // Wakes every waiting side to look at its stop condition again.
    void Wake();
    // The recording's origin on this run's clock, which every stamp WaitTurn
    // gives counts from; none before the replay starts.
    std::optional<TimeStamp> Origin();

    // The time on the clock the frames carry: while a recording plays (at
    // any speed), the recorded time played so far mapped onto this run's
    // clock, as the replayed chunks are stamped; otherwise now. Link health
    // is judged on it, so that a replay at x0.5 or x10 finds the outages of
    // the live run. It never runs ahead of a chunk not yet delivered, and
    // stops at the last chunk once every side has played out.
    static TimeStamp LinkTimeNow();

private:
    using Clock = std::chrono::steady_clock;

    // Under the lock: true once started, starting the clock when it may.
    bool Started(Clock::time_point now);
    bool IsEarliest(int side, std::int64_t nanoseconds) const;
    // The recorded nanoseconds played by now; none before the start.
    std::optional<std::int64_t> PlayedUpTo(Clock::time_point now);

    std::mutex lock;
    std::condition_variable changed;
    const unsigned expected;
    unsigned joined = 0;
    int nextId = 0;
    std::map<int, std::int64_t> next;  // per side, the time of its waiting chunk
    Clock::time_point firstJoin;
    Clock::time_point lastJoin;
    bool released = false;
    bool started = false;
    Clock::time_point start;  // the recording's origin on this run's clock
    double playSpeed = 1.0;   // as the sides last asked for it
    std::int64_t lastDelivered = 0;
};

template <class Stopped>
bool CReplaySession::WaitTurn(int side, std::int64_t nanoseconds, double speed, Stopped stopped, TimeStamp& stamp)
{
    std::unique_lock<std::mutex> guard(lock);
    next[side] = nanoseconds;
    changed.notify_all();
    for (;;) {
        if (stopped())
            return false;
        const Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = Clock::time_point::max();
        if (!Started(now)) {
            wakeAt = std::min(firstJoin + kJoinWait, joined >= expected ? lastJoin + kSettle : wakeAt);
        } else if (IsEarliest(side, nanoseconds)) {
            const auto recorded = std::chrono::nanoseconds(nanoseconds);
            const Clock::time_point due =
                speed > 0.0 ? start + std::chrono::duration_cast<Clock::duration>(recorded / speed) : now;
            if (due <= now) {
                playSpeed = speed;
                lastDelivered = std::max(lastDelivered, nanoseconds);
                stamp = (start + std::chrono::duration_cast<Clock::duration>(recorded)).time_since_epoch().count();
                return true;
            }
            wakeAt = due;
        }
        if (wakeAt == Clock::time_point::max())
            changed.wait(guard);
        else
            changed.wait_until(guard, wakeAt);
    }
}

}  // namespace TolvarRT
