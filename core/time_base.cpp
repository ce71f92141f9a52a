// The clock reads behind the time base. Both go through the standard library
// (localtime_r is the one POSIX call), so the time base lives with the other
// things every layer uses rather than with the devices.
#include "core/time_base.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>

namespace TolvarRT {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSecondsPerTick = double(Clock::period::num) / double(Clock::period::den);
constexpr double kDaysPerSecond = 0.000011574074074074073;

// Days from 30 December 1899 to the given civil date (proleptic Gregorian).
long DaysFrom1899(int year, unsigned month, unsigned day)
{
    // Days from 1970-01-01, after H. Hinnant's days_from_civil.
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = unsigned(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long fromUnixEpoch = era * 146097 + long(doe) - 719468;
    return fromUnixEpoch + 25569;  // 1899-12-30 .. 1970-01-01
}

// Seqlock: the writer makes the sequence odd while it writes the fields, so a
// reader that sees the same even sequence before and after has a whole epoch.
// The fields are atomics so that the retry loop is free of data races, and all
// accesses are sequentially consistent (no fences, which race checkers cannot
// follow); on the reading side that costs plain loads.
struct EpochStore {
    std::atomic<unsigned> sequence{0};
    std::atomic<TimeStamp> counter{0};
    std::atomic<double> date{0.0};
    std::atomic<double> unixSeconds{0.0};
    std::mutex writers;
};

double UnixSecondsNow() noexcept
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

EpochStore& Store() noexcept
{
    static EpochStore store;
    return store;
}

void Write(const sEpoch& epoch) noexcept
{
    EpochStore& store = Store();
    std::lock_guard<std::mutex> guard(store.writers);
    const unsigned sequence = store.sequence.load();
    store.sequence.store(sequence + 1);
    store.counter.store(epoch.counter);
    store.date.store(epoch.date);
    store.unixSeconds.store(epoch.unixSeconds);
    store.sequence.store(sequence + 2);
}

sEpoch TakeEpoch() noexcept
{
    sEpoch epoch;
    epoch.counter = TimeStampNow();
    // One read of the system clock for both, so the date and UTC agree.
    epoch.unixSeconds = UnixSecondsNow();
    epoch.date = LocalDateAt(epoch.unixSeconds);
    return epoch;
}

// The first epoch is taken once, before any other use; the magic static also
// covers callers that run during static initialisation.
void EnsureFirstEpoch() noexcept
{
    static const bool taken = (Write(TakeEpoch()), true);
    (void)taken;
}

[[maybe_unused]] const bool firstEpochAtStartUp = (EnsureFirstEpoch(), true);

}  // namespace

TimeStamp TimeStampNow() noexcept
{
    return Clock::now().time_since_epoch().count();
}

double LocalDateNow() noexcept
{
    return LocalDateAt(UnixSecondsNow());
}

double LocalDateAt(double unixSeconds) noexcept
{
    const std::time_t seconds = std::time_t(std::floor(unixSeconds));
    std::tm local{};
    localtime_r(&seconds, &local);
    const double fraction = unixSeconds - double(seconds);
    const double secondsOfDay = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
    return double(DaysFrom1899(local.tm_year + 1900, unsigned(local.tm_mon + 1), unsigned(local.tm_mday))) +
           secondsOfDay / 86400.0;
}

void ProgramEpoch::Retake() noexcept
{
    EnsureFirstEpoch();
    Write(TakeEpoch());
}

void ProgramEpoch::Set(const sEpoch& epoch) noexcept
{
    EnsureFirstEpoch();
    Write(epoch);
}

sEpoch ProgramEpoch::Current() noexcept
{
    EnsureFirstEpoch();
    const EpochStore& store = Store();
    for (;;) {
        const unsigned before = store.sequence.load();
        sEpoch epoch;
        epoch.counter = store.counter.load();
        epoch.date = store.date.load();
        epoch.unixSeconds = store.unixSeconds.load();
        const unsigned after = store.sequence.load();
        if (before == after && (before & 1u) == 0)
            return epoch;
    }
}

double SecondsSince(const sEpoch& epoch, TimeStamp timeStamp) noexcept
{
    return double(timeStamp - epoch.counter) * kSecondsPerTick;
}

double DateAt(const sEpoch& epoch, TimeStamp timeStamp) noexcept
{
    return SecondsSince(epoch, timeStamp) * kDaysPerSecond + epoch.date;
}

double UnixSecondsAt(const sEpoch& epoch, TimeStamp timeStamp) noexcept
{
    return epoch.unixSeconds + SecondsSince(epoch, timeStamp);
}

double SecondsSinceStart(TimeStamp timeStamp) noexcept
{
    return SecondsSince(ProgramEpoch::Current(), timeStamp);
}

double SecondsBetween(TimeStamp later, TimeStamp earlier) noexcept
{
    return double(later - earlier) * kSecondsPerTick;
}

double TimeStampToDate(TimeStamp timeStamp) noexcept
{
    return DateAt(ProgramEpoch::Current(), timeStamp);
}

double UnixSecondsAt(TimeStamp timeStamp) noexcept
{
    return UnixSecondsAt(ProgramEpoch::Current(), timeStamp);
}

}  // namespace TolvarRT
