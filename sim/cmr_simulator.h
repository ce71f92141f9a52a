// The fake CMR generator: a thread that follows one of seven frame schedules,
// sends each frame out of the Source port as a data-collector packet and
// publishes the same frame to the Source statistics.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "core/event.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/dc_cmr_handler.h"
#include "sim/cmr_schedule.h"
#include "sim/cmr_sim_timing.h"

namespace TolvarRT {

// Thread rules: Start, Stop and destruction belong to the owner's thread.
// SetSchedule, SetSVCount, SetPaused and the getters may be called from any
// thread while the generator runs; they exchange single values atomically and
// the generator picks them up at its next entry (a schedule at its next wait).
// Frames, status reports and log lines are delivered on the generator thread,
// which holds no lock of its own while a subscriber runs, so subscribers may
// attach and detach at any time.
class CCMRSimulator : public TSubscription<IIncommingCMRPipe>, public TSubscription<ICMRSimStatus> {
public:
    // Timing modes of Start.
    enum : unsigned {
        kModeSoftware = 0,         // paced on the clock; a late epoch goes out late
        kModeSoftwareAligned = 1,  // paced on the clock; a missed epoch is skipped and the grid re-aligned
        kModeTimer = 2,            // paced by the periodic timer on whole UTC seconds
    };
    static constexpr long kNoLimit = -1;
    static constexpr unsigned kStopWaitMs = 15000;

    // cmrHandler builds the frames and sends them through its parser; it must
    // outlive the generator.
    CCMRSimulator(CDCCMRHandler* cmrHandler, CLogPipe* logPipe);
    ~CCMRSimulator() override;
    CCMRSimulator(const CCMRSimulator&) = delete;
    CCMRSimulator& operator=(const CCMRSimulator&) = delete;

    // Starts counting epochs from 0 towards limit (kNoLimit: none) and
    // creates the generator thread unless one runs; a thread that is ending
    // is waited for first. The mode is taken when a thread is created. False
    // without a handler or when the thread could not be created.
    bool Start(long limit, unsigned mode);
    // Asks the thread to end after one last frame and waits for it up to
    // 15 s. False when it is still running after that.
    bool Stop();
    bool IsRunning() const;

    // False, changing nothing, for n above 6.
    bool SetSchedule(unsigned n);
    // False, changing nothing, for counts above 15. The secondary count of
    // the CMR-W frames is kept only under schedule 6, and is 0 otherwise.
    bool SetSVCount(unsigned n, unsigned second);
    void SetPaused(bool flag) { paused.store(flag); }
    // Millisecond offset of the epoch grid within the second, taken at the
    // next schedule change. False for 1000 or more.
    bool SetOffsetMs(unsigned ms);

    unsigned GetSVCount() const { return svCount.load(); }
    unsigned GetSecondCount() const { return secondCount.load(); }
    bool IsPaused() const { return paused.load(); }
    unsigned GetSchedule() const { return schedule.load(); }
    long GetSentCount() const { return sentCount.load(); }
    long GetLimit() const { return limit.load(); }

    CLogNode log;

protected:
    // The clock and waits the thread paces itself with, created on the
    // generator thread; tests and measurements replace or wrap it. A class
    // that overrides it stops the generator in its own destructor.
    virtual std::unique_ptr<ICMRSimTiming> CreateTiming();

private:
    void ThreadMain(unsigned runMode);
    void RunGenerator(ICMRSimTiming& timing, unsigned runMode);
    // Waits for the tick of an entry that starts an epoch; false on a
    // schedule change. Sets send and whether the wait ended in a stop.
    bool AwaitEpoch(ICMRSimTiming& timing, bool timerTiming, CEpochPacer& pacer, bool& send, bool& stopped);
    // Builds, sends and publishes one entry's frame, or logs the lost epoch.
    void EmitEntry(const sScheduleEntry& entry, bool send);
    void PublishFrame(const sFakeFrame& frame, const TimeStamp& timeStamp);
    void PublishStatus(long sent, long epochLimit);
    void RequestStop();

    CDCCMRHandler* const cmrHandler;

    std::atomic<bool> paused{false};
    std::atomic<unsigned> mode{kModeSoftware};
    std::atomic<unsigned> offsetMs{0};
    std::atomic<unsigned> svCount{9};
    std::atomic<unsigned> secondCount{0};
    std::atomic<long> sentCount{0};
    std::atomic<long> limit{kNoLimit};
    std::atomic<unsigned> schedule{2};

    // Manual-reset; the generator's waits block on wake, which every setter
    // of stop or change sets after it.
    CEvent stopEvent;
    CEvent scheduleEvent;
    CEvent wakeEvent;
    CEvent started;
    CEvent finished;

    std::mutex threadMutex;  // Start and Stop against each other
    std::thread thread;
    sFakeFrame frame;  // the generator thread's own
};

}  // namespace TolvarRT
