// Conversions of the time base and the re-taking of its epoch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "core/time_base.h"

namespace TolvarRT {
namespace {

constexpr TimeStamp kTicksPerSecond =
    TimeStamp(std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num);

// Every test leaves the process epoch as a fresh one.
class TimeBaseTest : public ::testing::Test {
protected:
    void TearDown() override { ProgramEpoch::Retake(); }
};

TEST_F(TimeBaseTest, SecondsAndDatesCountFromTheEpoch)
{
    ProgramEpoch::Set({1'000'000, 45678.25});
    EXPECT_EQ(SecondsSinceStart(1'000'000), 0.0);
    EXPECT_DOUBLE_EQ(SecondsSinceStart(1'000'000 + 3 * kTicksPerSecond / 2), 1.5);
    EXPECT_DOUBLE_EQ(SecondsSinceStart(1'000'000 - kTicksPerSecond), -1.0);
    // A day of clock time is one day of date.
    EXPECT_DOUBLE_EQ(TimeStampToDate(1'000'000), 45678.25);
    EXPECT_DOUBLE_EQ(TimeStampToDate(1'000'000 + 86400 * kTicksPerSecond), 45679.25);
    EXPECT_NEAR(TimeStampToDate(1'000'000 + 6 * 3600 * kTicksPerSecond), 45678.5, 1e-9);
}

TEST_F(TimeBaseTest, UtcCountsFromTheEpochsSystemClock)
{
    const sEpoch epoch{1'000'000, 45678.25, 1'765'000'000.5};
    ProgramEpoch::Set(epoch);
    EXPECT_EQ(UnixSecondsAt(1'000'000), 1'765'000'000.5);
    EXPECT_DOUBLE_EQ(UnixSecondsAt(1'000'000 + 5 * kTicksPerSecond / 2), 1'765'000'003.0);
    EXPECT_DOUBLE_EQ(UnixSecondsAt(1'000'000 - kTicksPerSecond), 1'764'999'999.5);
    // Against an epoch held by the caller, whatever the process epoch is now.
    ProgramEpoch::Retake();
    EXPECT_DOUBLE_EQ(UnixSecondsAt(epoch, 1'000'000 + 86400 * kTicksPerSecond), 1'765'086'400.5);
}

TEST_F(TimeBaseTest, ATakenEpochHoldsTheSystemClocksUtcAndItsDate)
{
    using std::chrono::system_clock;
    const double before = std::chrono::duration<double>(system_clock::now().time_since_epoch()).count();
    ProgramEpoch::Retake();
    const double after = std::chrono::duration<double>(system_clock::now().time_since_epoch()).count();
    const sEpoch epoch = ProgramEpoch::Current();
    EXPECT_GE(epoch.unixSeconds, before);
    EXPECT_LE(epoch.unixSeconds, after);
    // Date and UTC come from one reading of the clock.
    EXPECT_EQ(epoch.date, LocalDateAt(epoch.unixSeconds));
    const double now = UnixSecondsAt(TimeStampNow());
    EXPECT_GE(now, epoch.unixSeconds);
    EXPECT_LE(now, std::chrono::duration<double>(system_clock::now().time_since_epoch()).count() + 0.001);
}

TEST_F(TimeBaseTest, SecondsBetweenIsAntisymmetric)
{
    const TimeStamp a = 7 * kTicksPerSecond + 123;
    const TimeStamp b = 2 * kTicksPerSecond;
    EXPECT_DOUBLE_EQ(SecondsBetween(a, b), -SecondsBetween(b, a));
    EXPECT_GT(SecondsBetween(a, b), 5.0);
    EXPECT_EQ(SecondsBetween(a, a), 0.0);
}

TEST_F(TimeBaseTest, RetakingTheEpochRestartsTheSeconds)
{
    const TimeStamp before = TimeStampNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ProgramEpoch::Retake();
    const TimeStamp now = TimeStampNow();
    EXPECT_LT(SecondsSinceStart(now), 0.5);
    EXPECT_GE(SecondsSinceStart(now), 0.0);
    EXPECT_LT(SecondsSinceStart(before), 0.0);
}

TEST_F(TimeBaseTest, LocalDateCountsDaysFromTheEndOf1899)
{
    // Evaluated in UTC, where the day number is plain arithmetic on Unix time.
    const char* savedZone = std::getenv("TZ");
    const std::string saved = savedZone != nullptr ? savedZone : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const double unixSeconds = double(std::time(nullptr));
    const double date = LocalDateNow();
    if (savedZone != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_NEAR(date, 25569.0 + unixSeconds / 86400.0, 2.0 / 86400.0);
}

TEST_F(TimeBaseTest, AnEpochIsNeverSeenHalfWritten)
{
    // Two epochs whose fields belong together; a reader must see one or the
    // other, never the counter of one with the date or UTC of the other.
    const sEpoch first{100, 40000.0, 1.0e9};
    const sEpoch second{200, 50000.0, 2.0e9};
    ProgramEpoch::Set(first);
    std::atomic<bool> stop{false};
    std::atomic<unsigned long> torn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            while (!stop.load()) {
                const sEpoch seen = ProgramEpoch::Current();
                const auto same = [&seen](const sEpoch& e) {
                    return seen.counter == e.counter && seen.date == e.date && seen.unixSeconds == e.unixSeconds;
                };
                const bool whole = same(first) || same(second);
                if (!whole)
                    torn.fetch_add(1);
            }
        });
    for (int i = 0; i < 20000; ++i)
        ProgramEpoch::Set(i % 2 ? second : first);
    stop.store(true);
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0u);
}

}  // namespace
}  // namespace TolvarRT
