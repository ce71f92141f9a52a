// The fake CMR generator: the frames of every schedule, the packets that go
// out of the port, the epoch decisions under a scripted clock, the commands,
// and a few runs of the real thread on the real clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "case_name.h"
#include "decoders/data_collector_parser.h"
#include "fake_byte_pipe.h"
#include "log_recorder.h"
#include "sim/cmr_simulator.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Wake = ICMRSimTiming::Wake;
using ::testing::Each;
using ::testing::ElementsAre;
using testing::FakeBytePipe;

// One frame as a pipe delivered it; command is the packet type it travels in.
struct Frame {
    std::uint8_t command;
    std::uint8_t type;
    Bytes data;
    TimeStamp timeStamp;
    bool operator==(const Frame& other) const
    {
        return command == other.command && type == other.type && data == other.data;
    }
};

std::uint32_t EpochTimeOf(const Frame& frame)
{
    return (std::uint32_t(frame.data[2]) << 10) | (std::uint32_t(frame.data[3]) << 2) | (frame.data[4] >> 6);
}

// Locked: the generator thread writes while a test may poll.
class FrameRecorder : public TSubscriber<IIncommingCMRPipe> {
public:
    ~FrameRecorder() override { Unsubscribe(); }
    void OnCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                    const TimeStamp& timeStamp) override
    {
        Add({std::uint8_t(type == 5 ? kPacketCMRPlus : kPacketCMR), type, Bytes(data, data + length), timeStamp},
            status);
    }
    void OnCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                     const TimeStamp& timeStamp) override
    {
        Add({kPacketCMRW, type, Bytes(data, data + length), timeStamp}, status);
    }
    void OnSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                       const TimeStamp& timeStamp) override
    {
        Add({kPacketRadioCommand, kSendToMarker, Bytes(data, data + length), timeStamp}, status);
    }
    std::vector<Frame> Frames() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return frames;
    }
    std::vector<std::uint8_t> Statuses() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return statuses;
    }

private:
    void Add(Frame frame, std::uint8_t status)
    {
        std::lock_guard<std::mutex> guard(mutex);
        frames.push_back(std::move(frame));
        statuses.push_back(status);
    }
    mutable std::mutex mutex;
    std::vector<Frame> frames;
    std::vector<std::uint8_t> statuses;
};

class StatusRecorder : public TSubscriber<ICMRSimStatus> {
public:
    ~StatusRecorder() override { Unsubscribe(); }
    void OnCMRSimStatus(long sentCount, long limit) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        reports.emplace_back(sentCount, limit);
    }
    std::vector<std::pair<long, long>> Reports() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return reports;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::pair<long, long>> reports;
};

// What the scripted clock saw the generator do.
struct sTimingRecord {
    std::vector<unsigned> waits;                             // ms asked of each software wait
    std::vector<std::pair<unsigned, unsigned>> timerStarts;  // offset, interval
    struct Tick {
        double due;
        double go;
        bool send;
    };
    std::vector<Tick> ticks;
};

// One wait of the script: what ends it, how late it ends, and what happens
// on the generator thread just before (a command arriving mid-run).
struct sStep {
    Wake wake = Wake::Tick;
    double lateness = 0.0;  // s after the time asked for
    std::function<void()> before;
};

// A clock that moves only when the generator waits (exactly as long as it
// asked, plus the step's lateness) or reads it (1 us per read, so spins
// end). When the script runs out, the next wait ends in a stop.
class ScriptedTiming : public ICMRSimTiming {
public:
    ScriptedTiming(std::vector<sStep> steps, double start, sTimingRecord& record)
        : steps(std::move(steps)), now(start), record(record)
    {
    }
    double Now() override { return now += 1e-6; }
    Wake Wait(unsigned ms) override
    {
        record.waits.push_back(ms);
        const sStep step = Take();
        now += ms / 1000.0 + step.lateness;
        return step.wake;
    }
    void StartTimer(unsigned offsetMs, unsigned intervalMs) override
    {
        record.timerStarts.emplace_back(offsetMs, intervalMs);
        timerDue = std::floor(now) + 1.0 + offsetMs / 1000.0;
        timerPeriod = intervalMs / 1000.0;
    }
    Wake WaitTimer(double& dueAt) override
    {
        const sStep step = Take();
        dueAt = timerDue;
        now = timerDue + step.lateness;
        timerDue += timerPeriod;
        return step.wake;
    }
    void StopTimer() override {}
    void WaitForStop(unsigned) override {}
    void Sleep(unsigned) override {}
    void SetTimeCritical(bool) override {}
    void OnEpochTick(double dueAt, double goAt, bool send) override { record.ticks.push_back({dueAt, goAt, send}); }

private:
    sStep Take()
    {
        if (next == steps.size())
            return {Wake::Stop, 0.0, {}};
        const sStep& step = steps[next++];
        if (step.before)
            step.before();
        return step;
    }
    std::vector<sStep> steps;
    std::size_t next = 0;
    double now;
    double timerDue = 0.0;
    double timerPeriod = 1.0;
    sTimingRecord& record;
};

class ScriptedSimulator : public CCMRSimulator {
public:
    using CCMRSimulator::CCMRSimulator;
    ~ScriptedSimulator() override { Stop(); }

    // Set before Start; read by the generator thread.
    std::vector<sStep> script;
    double clockStart = 100.25;
    bool realTiming = false;
    // Written by the generator thread; read once it has ended.
    sTimingRecord record;

protected:
    std::unique_ptr<ICMRSimTiming> CreateTiming() override
    {
        if (realTiming)
            return CCMRSimulator::CreateTiming();
        return std::make_unique<ScriptedTiming>(script, clockStart, record);
    }
};

std::vector<sStep> Ticks(int count, double lateness = 0.0)
{
    return std::vector<sStep>(std::size_t(count), sStep{Wake::Tick, lateness, {}});
}

class CMRSimulatorTest : public ::testing::Test {
protected:
    CMRSimulatorTest()
    {
        parser.Subscribe(&port);
        handler.Subscribe(&parser);
        published.Subscribe(&sim);
        status.Subscribe(&sim);
        sim.SetSchedule(1);
        sim.SetSVCount(9, 4);
    }

    // Runs the script to its end (or the limit) on the generator thread.
    void Run(std::vector<sStep> steps, long limit = CCMRSimulator::kNoLimit,
             unsigned mode = CCMRSimulator::kModeSoftwareAligned)
    {
        sim.script = std::move(steps);
        ASSERT_TRUE(sim.Start(limit, mode));
        ASSERT_TRUE(sim.Stop());
    }

    // The packets that went out of the port, decoded by a second parser and
    // CMR handler as the Listener side would.
    std::vector<Frame> SentFrames()
    {
        FakeBytePipe wire;
        CLogNode wireLog;
        CDataCollectorParser wireParser(wireLog);
        CDCCMRHandler wireHandler;
        FrameRecorder received;
        wireParser.Subscribe(&wire);
        wireHandler.Subscribe(&wireParser);
        received.Subscribe(&wireHandler);
        wire.Feed(port.sent);
        EXPECT_TRUE(wire.lost.empty()) << "every byte sent belongs to a packet";
        return received.Frames();
    }

    std::vector<Frame> FramesOfCommand(std::uint8_t command)
    {
        std::vector<Frame> picked;
        for (const Frame& frame : published.Frames())
            if (frame.command == command)
                picked.push_back(frame);
        return picked;
    }

    CLogPipe logPipe;
    testing::LogRecorder lines{&logPipe, kLogBasic};
    FakeBytePipe port;
    CLogNode parserLog{&logPipe};
    CDataCollectorParser parser{parserLog};
    CDCCMRHandler handler{&logPipe};
    FrameRecorder published;
    StatusRecorder status;
    ScriptedSimulator sim{&handler, &logPipe};
};

// How many bytes had left the port each time a frame was counted at the Source.
class SentBytesAtPublish : public TSubscriber<IIncommingCMRPipe> {
public:
    explicit SentBytesAtPublish(const FakeBytePipe& port) : port(port) {}
    ~SentBytesAtPublish() override { Unsubscribe(); }
    void OnCMRFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override
    {
        counts.push_back(port.sent.size());
    }
    void OnCMRWFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override
    {
        counts.push_back(port.sent.size());
    }
    void OnSendToFrame(const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override
    {
        counts.push_back(port.sent.size());
    }
    std::vector<std::size_t> counts;  // written by the generator thread, read once it has ended

private:
    const FakeBytePipe& port;
};

// A fast link can deliver a frame before the thread that sent it runs again;
// the Listener can only match it if the Source already holds its record.
TEST_F(CMRSimulatorTest, EveryFrameIsCountedAtTheSourceBeforeItsPacketLeaves)
{
    SentBytesAtPublish seen(port);
    seen.Subscribe(&sim);
    Run(Ticks(2));
    seen.Unsubscribe();
    ASSERT_EQ(seen.counts.size(), 5u);
    EXPECT_EQ(seen.counts.front(), 0u) << "nothing went out before the first frame was counted";
    EXPECT_TRUE(std::is_sorted(seen.counts.begin(), seen.counts.end()));
    EXPECT_EQ(std::adjacent_find(seen.counts.begin(), seen.counts.end()), seen.counts.end())
        << "one packet between two counts";
    EXPECT_LT(seen.counts.back(), port.sent.size()) << "the last frame's packet follows its count";
}

TEST_F(CMRSimulatorTest, ScheduleOneSendsACMRAndACMRPlusEverySecond)
{
    Run(Ticks(3));
    // Three ticks, then the stop lets one last frame out.
    const auto frames = published.Frames();
    ASSERT_EQ(frames.size(), 7u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& frame = frames[i];
        if (i % 2 == 0) {
            EXPECT_EQ(frame.command, kPacketCMR);
            EXPECT_EQ(frame.data.size(), 147u);
            EXPECT_EQ(frame.data[1], 0x09) << "type 0 in the top three bits, 9 satellites below";
            EXPECT_EQ(frame.data[6] & 0x01, 0x01);
        } else {
            EXPECT_EQ(frame.command, kPacketCMRPlus);
            EXPECT_EQ(frame.type, 5);
            EXPECT_EQ(frame.data.size(), 12u);
            EXPECT_EQ(frame.data[1], 0xA0) << "type 5 << 5";
        }
    }
    EXPECT_EQ(sim.GetSentCount(), 4);
    EXPECT_THAT(published.Statuses(), Each(0));
    EXPECT_THAT(status.Reports(),
                ElementsAre(std::pair(1L, -1L), std::pair(1L, -1L), std::pair(2L, -1L), std::pair(2L, -1L),
                            std::pair(3L, -1L), std::pair(3L, -1L), std::pair(4L, -1L)));
    EXPECT_EQ(lines.Count("Using Fake CMR Generation"), 1u);
    EXPECT_EQ(lines.Count("Fake Schedule = 1"), 1u);
    EXPECT_EQ(lines.Count("Fake CMR 0"), 4u);
    EXPECT_EQ(lines.Count("Fake CMR 5"), 3u);
    EXPECT_EQ(lines.Count("Lost sync"), 0u);
}

struct sExpectedFrame {
    std::uint8_t command;
    std::uint8_t type;
    unsigned length;
};

struct sScheduleCase {
    unsigned schedule;
    unsigned intervalMs;
    int ticksPerCycle;
    std::vector<sExpectedFrame> cycle;
};

class ScheduleTableTest : public CMRSimulatorTest, public ::testing::WithParamInterface<sScheduleCase> {};

// With 9 satellites and 4 secondary ones: CMR type 0 12 + 15 x 9, type 4
// 12 + 3 x 9, CMR-W 12 + 14 x 4.
const sScheduleCase kScheduleCases[] = {
    {0, 200, 5, {{0x93, 0, 147}, {0x94, 5, 12}, {0x93, 4, 39}, {0x93, 4, 39}, {0x93, 4, 39}, {0x93, 4, 39}}},
    {1, 1000, 1, {{0x93, 0, 147}, {0x94, 5, 12}}},
    {2,
     1000,
     9,
     {{0x93, 0, 147},
      {0x93, 1, 25},
      {0x93, 0, 147},
      {0x93, 0, 147},
      {0x93, 0, 147},
      {0x93, 0, 147},
      {0x93, 2, 33},
      {0x93, 0, 147},
      {0x93, 0, 147},
      {0x93, 0, 147},
      {0x93, 0, 147}}},
    {3, 500, 1, {{0x93, 0, 147}}},
    {4, 1000, 1, {{0x77, 0x40, 100}, {0x77, 0x40, 100}}},
    {5, 1000, 1, {{0x93, 0, 147}, {0x94, 5, 12}, {0x77, 0x40, 100}, {0x77, 0x40, 100}}},
    {6, 1000, 1, {{0x98, 0, 68}, {0x93, 0, 147}, {0x94, 5, 12}}},
};

TEST_P(ScheduleTableTest, OneCycleOfFrames)
{
    const sScheduleCase& expected = GetParam();
    sim.SetSchedule(expected.schedule);
    sim.SetSVCount(9, 4);
    Run(Ticks(expected.ticksPerCycle), CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftware);

    const auto frames = published.Frames();
    ASSERT_GT(frames.size(), expected.cycle.size());
    for (std::size_t i = 0; i < expected.cycle.size(); ++i) {
        SCOPED_TRACE(i);
        const Frame& frame = frames[i];
        EXPECT_EQ(frame.command, expected.cycle[i].command);
        EXPECT_EQ(frame.type, expected.cycle[i].type);
        ASSERT_EQ(frame.data.size(), expected.cycle[i].length);
        switch (frame.command) {
        case kPacketRadioCommand:
            EXPECT_THAT(Bytes(frame.data.begin(), frame.data.begin() + 5), ElementsAre(0x40, 0xFF, 0xFF, 0, 0));
            break;
        case kPacketCMRW: EXPECT_EQ(frame.data[0], frame.type); break;
        default:
            EXPECT_EQ(frame.data[0], 0);
            EXPECT_EQ(frame.data[1], (frame.type << 5) | (frame.type == 0 ? 9 : 0));
            break;
        }
    }
    // The first frame after the cycle starts it again.
    EXPECT_EQ(frames[expected.cycle.size()].command, expected.cycle[0].command);
    // Without alignment the first wait is the interval less the initial margin.
    EXPECT_EQ(sim.record.waits.front() + CEpochPacer::kInitialMarginMs, expected.intervalMs);
    EXPECT_EQ(sim.GetSentCount(), expected.ticksPerCycle + 1);
    EXPECT_EQ(SentFrames(), frames);
}

INSTANTIATE_TEST_SUITE_P(AllSchedules, ScheduleTableTest, ::testing::ValuesIn(kScheduleCases),
                         [](const auto& info) { return "schedule_" + std::to_string(info.param.schedule); });

TEST_F(CMRSimulatorTest, FiveHertzScheduleAdvancesTheEpochTimeBySecondsPerTypeZeroFrame)
{
    sim.SetSchedule(0);
    Run(Ticks(15));
    std::vector<std::uint32_t> typeZeroTimes;
    for (const Frame& frame : FramesOfCommand(kPacketCMR))
        if (frame.type == 0)
            typeZeroTimes.push_back(EpochTimeOf(frame));
    EXPECT_THAT(typeZeroTimes, ElementsAre(1000u, 2000u, 3000u, 4000u));
    // Five epochs of 200 ms from one type-0 frame to the next.
    EXPECT_EQ(sim.GetSentCount(), 16);
}

TEST_F(CMRSimulatorTest, CMRWFramesFollowTheSecondaryCount)
{
    sim.SetSchedule(6);
    ASSERT_TRUE(sim.SetSVCount(15, 7));
    Run(Ticks(1));
    const auto cmrw = FramesOfCommand(kPacketCMRW);
    ASSERT_EQ(cmrw.size(), 2u);
    EXPECT_EQ(cmrw[0].data.size(), 110u);
}

TEST_F(CMRSimulatorTest, CMRWEntryWithoutSecondarySatellitesSendsNothingButCounts)
{
    sim.SetSchedule(6);
    ASSERT_TRUE(sim.SetSVCount(1, 0));
    Run(Ticks(2));
    EXPECT_TRUE(FramesOfCommand(kPacketCMRW).empty());
    EXPECT_EQ(published.Frames().size(), 4u);  // CMR and CMR+ of the two ticked epochs
    EXPECT_EQ(sim.GetSentCount(), 3);
    // The skipped entry publishes no status either.
    EXPECT_THAT(status.Reports(),
                ElementsAre(std::pair(1L, -1L), std::pair(1L, -1L), std::pair(2L, -1L), std::pair(2L, -1L)));
    EXPECT_EQ(SentFrames(), published.Frames());
}

TEST_F(CMRSimulatorTest, SecondaryCountIsKeptOnlyUnderScheduleSix)
{
    EXPECT_TRUE(sim.SetSVCount(12, 6));
    EXPECT_EQ(sim.GetSecondCount(), 0u);
    EXPECT_TRUE(sim.SetSchedule(6));
    EXPECT_EQ(sim.GetSecondCount(), 0u) << "taken at the next SetSVCount";
    EXPECT_TRUE(sim.SetSVCount(12, 6));
    EXPECT_EQ(sim.GetSecondCount(), 6u);
    EXPECT_EQ(lines.Count("Change of CMR schedule "), 2u);  // with the fixture's
    EXPECT_EQ(lines.Count("Now Simulating 12 SV's"), 2u);
}

TEST_F(CMRSimulatorTest, RefusedCountsAndSchedulesChangeNothing)
{
    sim.SetSchedule(6);
    sim.SetSVCount(12, 6);
    const long linesBefore = long(lines.Lines().size());
    EXPECT_FALSE(sim.SetSVCount(16, 8));
    EXPECT_FALSE(sim.SetSVCount(10, 16));
    EXPECT_FALSE(sim.SetSchedule(7));
    EXPECT_FALSE(sim.SetOffsetMs(1000));
    EXPECT_EQ(sim.GetSVCount(), 12u);
    EXPECT_EQ(sim.GetSecondCount(), 6u);
    EXPECT_EQ(sim.GetSchedule(), 6u);
    EXPECT_EQ(long(lines.Lines().size()), linesBefore);
}

TEST_F(CMRSimulatorTest, PausedGeneratorSendsNothingAndReportsOnlyFailedTiming)
{
    sim.SetPaused(true);
    std::vector<sStep> steps = Ticks(3);
    steps.push_back({Wake::Tick, 0.1, {}});  // far too late: a miss
    Run(steps);
    EXPECT_TRUE(published.Frames().empty());
    EXPECT_TRUE(port.sent.empty());
    EXPECT_TRUE(status.Reports().empty());
    EXPECT_EQ(sim.GetSentCount(), 0);
    // The missed epoch's two entries.
    EXPECT_EQ(lines.Count("Lost sync"), 2u);
}

TEST_F(CMRSimulatorTest, PauseTakesEffectAtTheNextEntry)
{
    std::vector<sStep> steps = Ticks(3);
    steps[2].before = [this] { sim.SetPaused(true); };
    Run(steps);
    EXPECT_EQ(published.Frames().size(), 4u);
    EXPECT_EQ(sim.GetSentCount(), 2);
}

TEST_F(CMRSimulatorTest, LateTickInAlignedModeSkipsTheEpochAndRealignsToTheSecond)
{
    ASSERT_TRUE(sim.SetOffsetMs(250));
    std::vector<sStep> steps = Ticks(4);
    steps[1].lateness = CEpochPacer::kInitialMarginMs / 1000.0 + 0.03;  // well past the tick
    Run(steps);

    const auto& ticks = sim.record.ticks;
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_TRUE(ticks[0].send);
    EXPECT_FALSE(ticks[1].send);
    EXPECT_TRUE(ticks[2].send);
    EXPECT_TRUE(ticks[3].send);
    // The grid moved to a whole second plus the offset, then goes on from there.
    EXPECT_NEAR(std::fmod(ticks[2].due, 1.0), 0.25, 1e-9);
    EXPECT_NEAR(ticks[3].due - ticks[2].due, 1.0, 1e-9);
    EXPECT_GT(ticks[2].due, ticks[1].go);
    EXPECT_EQ(lines.Count("Lost sync"), 2u);  // the CMR and the CMR+ of that epoch
    EXPECT_EQ(sim.GetSentCount(), 4);
}

TEST_F(CMRSimulatorTest, LateTickWithoutAlignmentGoesOutLateAndRestartsTheGrid)
{
    std::vector<sStep> steps = Ticks(3);
    steps[1].lateness = CEpochPacer::kInitialMarginMs / 1000.0 + 0.03;
    Run(steps, CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftware);
    const auto& ticks = sim.record.ticks;
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_TRUE(ticks[1].send);
    EXPECT_GT(ticks[1].go - ticks[1].due, CEpochPacer::kTolerance);
    EXPECT_NEAR(ticks[2].due, ticks[1].go + 1.0, 1e-9);
    EXPECT_EQ(lines.Count("Lost sync"), 0u);
}

TEST_F(CMRSimulatorTest, OnTimeTicksAreSpunToTheirDueTime)
{
    Run(Ticks(5));
    for (const auto& tick : sim.record.ticks) {
        EXPECT_TRUE(tick.send);
        EXPECT_GE(tick.go, tick.due);
        EXPECT_LT(tick.go - tick.due, 1e-5);
    }
    // The first wait of an aligned start leads by 2 ms per second of interval.
    EXPECT_EQ(sim.record.waits[0], 1000u - CEpochPacer::kInitialMarginMs - 2);
}

TEST_F(CMRSimulatorTest, ScheduleChangeReloadsWithoutLosingSync)
{
    std::vector<sStep> steps = Ticks(2);
    steps.push_back({Wake::ScheduleChange, 0.0, [this] { sim.SetSchedule(3); }});
    steps.push_back({Wake::Tick, 0.0, {}});
    Run(steps);
    const auto frames = published.Frames();
    // Two epochs of schedule 1, then schedule 3 (type 0 only) for the tick and the stop.
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[3].command, kPacketCMRPlus);
    EXPECT_EQ(frames[4].command, kPacketCMR);
    EXPECT_EQ(frames[5].command, kPacketCMR);
    EXPECT_EQ(lines.Count("Fake Schedule = 1"), 1u);
    EXPECT_EQ(lines.Count("Fake Schedule = 3"), 1u);
    EXPECT_EQ(lines.Count("Lost sync"), 0u);
    // The new interval paces the next wait.
    EXPECT_LT(sim.record.waits[3], 500u);
}

TEST_F(CMRSimulatorTest, TimerTimingStartsTheTimerPerScheduleAndSendsEveryTick)
{
    sim.SetSchedule(0);
    std::vector<sStep> steps = Ticks(3, 0.2);  // late wake-ups are not judged under the timer
    steps.push_back({Wake::ScheduleChange, 0.0, [this] { sim.SetSchedule(1); }});
    steps.push_back({Wake::Tick, 0.0, {}});
    Run(steps, CCMRSimulator::kNoLimit, CCMRSimulator::kModeTimer);
    EXPECT_THAT(sim.record.timerStarts, ElementsAre(std::pair(0u, 200u), std::pair(0u, 1000u)));
    EXPECT_TRUE(sim.record.waits.empty()) << "no software waits";
    ASSERT_EQ(sim.record.ticks.size(), 4u);
    for (const auto& tick : sim.record.ticks)
        EXPECT_TRUE(tick.send);
    EXPECT_EQ(lines.Count("Lost sync"), 0u);
    EXPECT_EQ(sim.GetSentCount(), 5);
}

TEST_F(CMRSimulatorTest, LimitEndsTheThreadWithinTheEpochThatReachesIt)
{
    sim.script = Ticks(10);
    ASSERT_TRUE(sim.Start(2, CCMRSimulator::kModeSoftwareAligned));
    ASSERT_TRUE(testing::WaitUntil([&] { return !sim.IsRunning(); })) << "the thread ends by itself";
    EXPECT_EQ(sim.GetSentCount(), 2);
    EXPECT_THAT(status.Reports(), ElementsAre(std::pair(1L, 2L), std::pair(1L, 2L), std::pair(2L, 2L)));
    EXPECT_EQ(lines.Count("Fake CMR 0, Sent 1"), 1u);
    EXPECT_EQ(lines.Count("Fake CMR 5, Sent 1"), 1u);
    EXPECT_EQ(lines.Count("Fake CMR 0, Sent 2"), 1u);
    EXPECT_EQ(sim.record.ticks.size(), 2u);
    EXPECT_TRUE(sim.Stop());
}

TEST_F(CMRSimulatorTest, WithoutAPortFramesAreStillPublishedAndLogged)
{
    handler.Unsubscribe();
    Run(Ticks(1));
    EXPECT_EQ(published.Frames().size(), 3u);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(lines.Count("Fake CMR 0"), 2u);
}

TEST(CMRSimulatorWithoutHandler, DoesNotStart)
{
    CCMRSimulator sim(nullptr, nullptr);
    EXPECT_FALSE(sim.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftwareAligned));
    EXPECT_FALSE(sim.IsRunning());
    EXPECT_TRUE(sim.Stop());
}

// The real thread on the real clock. Only counts and lower bounds on time are
// asserted; the machines are shared.
class RealTimeCMRSimulatorTest : public CMRSimulatorTest {
protected:
    RealTimeCMRSimulatorTest() { sim.realTiming = true; }
};

TEST_F(RealTimeCMRSimulatorTest, AlignedSoftwareTimingSendsTheLimitAndStopsItself)
{
    sim.SetSchedule(3);
    const TimeStamp start = TimeStampNow();
    ASSERT_TRUE(sim.Start(3, CCMRSimulator::kModeSoftwareAligned));
    EXPECT_TRUE(sim.IsRunning());
    ASSERT_TRUE(testing::WaitUntil([this] { return !sim.IsRunning(); }));
    EXPECT_EQ(sim.GetSentCount(), 3);
    const auto frames = published.Frames();
    ASSERT_EQ(frames.size(), 3u);
    // No epoch goes out before its interval has passed.
    EXPECT_GE(SecondsBetween(frames[0].timeStamp, start), 0.4);
    EXPECT_EQ(SentFrames(), frames);
    EXPECT_TRUE(sim.Stop());
}

TEST_F(RealTimeCMRSimulatorTest, TimerTimingRunsUntilStopped)
{
    sim.SetSchedule(0);
    ASSERT_TRUE(sim.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeTimer));
    ASSERT_TRUE(testing::WaitUntil([this] { return sim.GetSentCount() >= 3; }));
    EXPECT_TRUE(sim.Stop());
    EXPECT_FALSE(sim.IsRunning());
    const auto frames = published.Frames();
    EXPECT_GE(frames.size(), 3u);
    EXPECT_EQ(SentFrames(), frames);
    EXPECT_EQ(lines.Count("Using Fake CMR Generation"), 1u);
    EXPECT_EQ(lines.Count("Fake Schedule = 0"), 1u);
}

TEST_F(RealTimeCMRSimulatorTest, StopEndsTheWaitAndLetsOneLastFrameOut)
{
    ASSERT_TRUE(sim.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftwareAligned));
    EXPECT_TRUE(sim.Stop());
    EXPECT_EQ(sim.GetSentCount(), 1);
    EXPECT_EQ(published.Frames().size(), 1u);
    // And it starts again.
    ASSERT_TRUE(sim.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftwareAligned));
    EXPECT_TRUE(sim.IsRunning());
    EXPECT_EQ(sim.GetSentCount(), 0);
    EXPECT_TRUE(sim.Stop());
}

TEST_F(RealTimeCMRSimulatorTest, ScheduleChangeFromAnotherThreadReloads)
{
    ASSERT_TRUE(sim.Start(CCMRSimulator::kNoLimit, CCMRSimulator::kModeSoftwareAligned));
    sim.SetSchedule(0);
    ASSERT_TRUE(testing::WaitUntil([this] { return !FramesOfCommand(kPacketCMR).empty(); }));
    EXPECT_TRUE(sim.Stop());
    EXPECT_GE(lines.Count("Fake Schedule = 0"), 1u);
    EXPECT_EQ(lines.Count("Change of CMR schedule "), 2u);
}

}  // namespace
}  // namespace TolvarRT
