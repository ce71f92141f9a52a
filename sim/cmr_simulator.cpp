// The generator thread of the fake CMR traffic: the schedule walk, the frames
// built and sent through the Source side's CMR handler, and the epoch waits.
#include "sim/cmr_simulator.h"

#include <system_error>

#include "core/time_base.h"
#include "decoders/dc_packet.h"

namespace TolvarRT {
namespace {

using Wake = ICMRSimTiming::Wake;

constexpr unsigned kStartWaitMs = 5000;
// Time for the port to write the last frames before the thread ends.
constexpr unsigned kLimitPauseMs = 1500;
constexpr unsigned kLeavePauseMs = 100;
constexpr unsigned kOffsetLimitMs = 1000;
constexpr unsigned kCMRWSchedule = 6;
constexpr unsigned kSVBits = 0x1F;

}  // namespace

CCMRSimulator::CCMRSimulator(CDCCMRHandler* handler, CLogPipe* logPipe) : log(logPipe), cmrHandler(handler) {}

CCMRSimulator::~CCMRSimulator()
{
    Stop();
    // A thread that did not end in time may still use this object.
    std::lock_guard<std::mutex> guard(threadMutex);
    if (thread.joinable())
        thread.join();
}

bool CCMRSimulator::Start(long epochLimit, unsigned runMode)
{
    if (cmrHandler == nullptr)
        return false;
    std::lock_guard<std::mutex> guard(threadMutex);
    if (thread.joinable() && (stopEvent.IsSet() || finished.IsSet())) {
        // An ending thread only has its bounded final pauses left.
        if (!finished.WaitFor(std::chrono::milliseconds(kStopWaitMs)))
            return false;
        thread.join();
    }
    sentCount.store(0);
    limit.store(epochLimit);
    mode.store(runMode);
    if (thread.joinable())
        return true;
    stopEvent.Clear();
    started.Clear();
    finished.Clear();
    try {
        thread = std::thread(&CCMRSimulator::ThreadMain, this, runMode);
    } catch (const std::system_error&) {
        return false;
    }
    started.WaitFor(std::chrono::milliseconds(kStartWaitMs));
    return true;
}

bool CCMRSimulator::Stop()
{
    std::lock_guard<std::mutex> guard(threadMutex);
    if (!thread.joinable())
        return true;
    RequestStop();
    if (!finished.WaitFor(std::chrono::milliseconds(kStopWaitMs)))
        return false;
    thread.join();
    return true;
}

bool CCMRSimulator::IsRunning() const
{
    return started.IsSet() && !finished.IsSet();
}

void CCMRSimulator::RequestStop()
{
    stopEvent.Set();
    wakeEvent.Set();
}

bool CCMRSimulator::SetSchedule(unsigned n)
{
    if (n >= kFakeScheduleCount)
        return false;
    schedule.store(n);
    scheduleEvent.Set();
    wakeEvent.Set();
    log.LogBasic("Change of CMR schedule ");
    return true;
}

bool CCMRSimulator::SetSVCount(unsigned n, unsigned second)
{
    if (n > kFakeSVMax || second > kFakeSVMax)
        return false;
    svCount.store(n);
    secondCount.store(schedule.load() == kCMRWSchedule ? second : 0);
    log.LogAlways("Now Simulating %d SV's", int(n));
    return true;
}

bool CCMRSimulator::SetOffsetMs(unsigned ms)
{
    if (ms >= kOffsetLimitMs)
        return false;
    offsetMs.store(ms);
    return true;
}

std::unique_ptr<ICMRSimTiming> CCMRSimulator::CreateTiming()
{
    return std::make_unique<CCMRSimTiming>(stopEvent, scheduleEvent, wakeEvent);
}

void CCMRSimulator::ThreadMain(unsigned runMode)
{
    started.Set();
    {
        const std::unique_ptr<ICMRSimTiming> timing = CreateTiming();
        RunGenerator(*timing, runMode);
    }
    finished.Set();
}

void CCMRSimulator::RunGenerator(ICMRSimTiming& timing, unsigned runMode)
{
    // The periodic timer is always at hand here, so mode 2 always gets it.
    const bool timerTiming = runMode == kModeTimer;
    const bool align = runMode == kModeSoftwareAligned;
    log.LogBasic("Using Fake CMR Generation");
    CEpochPacer pacer;
    const sFakeSchedule* current = nullptr;
    std::size_t entryIndex = 0;
    bool send = false;
    bool stopped = false;
    bool reload = true;
    while (!stopped) {
        if (reload || scheduleEvent.IsSet()) {
            // Cleared before the schedule is read, so a change made meanwhile
            // is not lost but reloads once more.
            scheduleEvent.Clear();
            const unsigned n = schedule.load();
            current = &FakeSchedule(n);
            entryIndex = 0;
            if (timerTiming) {
                timing.StartTimer(offsetMs.load(), current->intervalMs);
            } else {
                timing.SetTimeCritical(true);
                pacer.Restart(timing.Now(), current->intervalMs, align, offsetMs.load());
            }
            log.LogBasic("Fake Schedule = %d", int(n));
            reload = false;
        }
        const sScheduleEntry& entry = current->entries[entryIndex];
        if (entry.startsEpoch && !AwaitEpoch(timing, timerTiming, pacer, send, stopped)) {
            reload = true;
            continue;
        }
        EmitEntry(entry, send);
        entryIndex = (entryIndex + 1) % current->entries.size();
        const long epochLimit = limit.load();
        if (epochLimit != kNoLimit && sentCount.load() >= epochLimit) {
            timing.SetTimeCritical(false);
            timing.WaitForStop(kLimitPauseMs);
            RequestStop();
            break;
        }
    }
    timing.SetTimeCritical(false);
    timing.Sleep(kLeavePauseMs);
    timing.StopTimer();
    RequestStop();
}

bool CCMRSimulator::AwaitEpoch(ICMRSimTiming& timing, bool timerTiming, CEpochPacer& pacer, bool& send, bool& stopped)
{
    timing.SetTimeCritical(true);
    double dueAt = 0.0;
    switch (timerTiming ? timing.WaitTimer(dueAt) : timing.Wait(pacer.WaitMs())) {
    case Wake::ScheduleChange:
        // Not a timing failure: the new schedule starts without a "Lost sync".
        send = false;
        return false;
    case Wake::Stop:
        send = true;  // one last frame goes out
        stopped = true;
        return true;
    case Wake::Tick: break;
    }
    if (timerTiming) {
        send = true;
        timing.OnEpochTick(dueAt, timing.Now(), send);
        return true;
    }
    const double wokeAt = timing.Now();
    const double next = pacer.Next();
    double now = wokeAt;
    // Bounded by the window: a tick further away than that is a miss anyway.
    while (now < next && next < now + CEpochPacer::kSpinWindow)
        now = timing.Now();
    send = pacer.OnTick(wokeAt, now);
    timing.OnEpochTick(next, now, send);
    return true;
}

void CCMRSimulator::EmitEntry(const sScheduleEntry& entry, bool send)
{
    if (!send) {
        log.LogBasic("Lost sync");
        return;
    }
    if (paused.load())
        return;
    const unsigned sv = svCount.load();
    const unsigned second = secondCount.load();
    const std::uint8_t length = FakeEntryLength(entry, sv, second);
    switch (entry.command) {
    case kPacketRadioCommand: cmrHandler->BuildFakeSendTo(frame, length, kFakeSendToValue); break;
    case kPacketCMRW:
        // Without secondary satellites there is no CMR-W frame; the epoch
        // still counts.
        if (second == 0) {
            if (entry.startsEpoch)
                ++sentCount;
            return;
        }
        cmrHandler->BuildFakeCMRW(frame, entry.type, length);
        break;
    default:
        cmrHandler->BuildFakeCMR(frame, entry.type, length);
        if (entry.type == 0) {
            if (frame.length > 1)
                frame.data[1] |= std::uint8_t(sv & kSVBits);
            if (frame.length > 6)
                frame.data[6] |= 0x01;
        }
        break;
    }
    // Counted at the Source before it leaves: on a fast link the Listener may
    // decode the frame before this thread runs again, and a frame received
    // before its source record would be unmatched, then missed.
    const long sent = entry.startsEpoch ? ++sentCount : sentCount.load();
    PublishFrame(frame, TimeStampNow());
    cmrHandler->SendFakeFrame(frame, 0);
    const long epochLimit = limit.load();
    if (epochLimit == kNoLimit)
        log.LogBasic("Fake CMR %d", frame.type);
    else
        log.LogBasic("Fake CMR %d, Sent %d", frame.type, int(sent));
    PublishStatus(sent, epochLimit);
}

void CCMRSimulator::PublishFrame(const sFakeFrame& built, const TimeStamp& timeStamp)
{
    TSubscription<IIncommingCMRPipe>::Publish([&](IIncommingCMRPipe& pipe) {
        switch (built.command) {
        case kPacketRadioCommand: pipe.OnSendToFrame(built.data, built.length, 0, timeStamp); break;
        case kPacketCMRW: pipe.OnCMRWFrame(built.type, built.data, built.length, 0, timeStamp); break;
        default: pipe.OnCMRFrame(built.type, built.data, built.length, 0, timeStamp); break;
        }
    });
}

void CCMRSimulator::PublishStatus(long sent, long epochLimit)
{
    TSubscription<ICMRSimStatus>::Publish([&](ICMRSimStatus& status) { status.OnCMRSimStatus(sent, epochLimit); });
}

}  // namespace TolvarRT
