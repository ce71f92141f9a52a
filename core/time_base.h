// The process-wide time base: every latency, every "Time %0.3f" and every
// time-of-day prefix of the log is computed from it.
#pragma once

#include <cstdint>

namespace TolvarRT {

// A raw reading of the monotonic clock. Taking one is a single clock read;
// conversion to seconds is left to whoever needs it.
using TimeStamp = std::int64_t;

TimeStamp TimeStampNow() noexcept;

// The anchor of SecondsSinceStart, TimeStampToDate and UnixSecondsAt: a clock
// reading, the local date at the same moment (days since 30 December 1899
// 00:00, the fraction being the time of day) and the system clock's UTC then
// (seconds since 1970, the Unix epoch).
struct sEpoch {
    TimeStamp counter;
    double date;
    double unixSeconds = 0.0;
};

// The epoch is taken at start-up and re-taken at every confirmed Listener
// connection, on one thread, while port threads convert stamps with it.
// Readers always see one epoch whole, never the counter of one and the date or
// the UTC of another.
class ProgramEpoch {
public:
    static void Retake() noexcept;
    static void Set(const sEpoch& epoch) noexcept;
    static sEpoch Current() noexcept;
};

// The same conversions against one epoch read once, for callers that need
// several values consistent with each other.
double SecondsSince(const sEpoch& epoch, TimeStamp timeStamp) noexcept;
double DateAt(const sEpoch& epoch, TimeStamp timeStamp) noexcept;
double UnixSecondsAt(const sEpoch& epoch, TimeStamp timeStamp) noexcept;

// Seconds from the epoch to timeStamp.
double SecondsSinceStart(TimeStamp timeStamp) noexcept;
// Seconds from earlier to later (negative when later is earlier).
double SecondsBetween(TimeStamp later, TimeStamp earlier) noexcept;
// Local date of timeStamp as a day number with fraction; follows the wall
// clock as it was at the epoch plus monotonic time, ignoring later changes of
// the system clock.
double TimeStampToDate(TimeStamp timeStamp) noexcept;
// UTC of timeStamp in seconds since the Unix epoch, the same way: the system
// clock at the epoch plus monotonic time since. Arrival times compared with the
// time a GNSS epoch carries are read with it.
double UnixSecondsAt(TimeStamp timeStamp) noexcept;

// The local date and time now, as a day number with fraction.
double LocalDateNow() noexcept;
// The local date and time of a moment given in seconds since the Unix epoch.
double LocalDateAt(double unixSeconds) noexcept;

}  // namespace TolvarRT
