// The fake RTCM v3 generator: a thread that builds an epoch of MSM
// observations (and the station messages when due) on every tick of its rate,
// sends each frame out of the Source port and publishes the same frame to the
// Source statistics.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "core/event.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/rtcm3_input_handler.h"
#include "sim/rtcm3_message_builder.h"

namespace TolvarRT {

// Epochs fall on the rate's ticks of the host's UTC clock (whole seconds at
// 1 Hz), and each is due at an absolute steady_clock time worked out from
// the first: waits never add up. An epoch more than one interval late is
// skipped and logged, and the grid goes on from the next tick.
//
// Thread rules: SetSettings, Start, Stop and destruction belong to the
// owner's thread; the getters may be called from any thread. Frames and log
// lines are delivered on the generator thread, which holds no lock of its own
// while a subscriber runs, so subscribers may attach and detach at any time.
class CRTCM3Simulator : public TSubscription<IIncommingRTCM3Pipe> {
public:
    static constexpr long kNoLimit = -1;
    static constexpr unsigned kStopWaitMs = 15000;

    // rtcm3Handler sends the frames through its byte pipe; it must outlive
    // the generator.
    CRTCM3Simulator(CRTCM3InputHandler* rtcm3Handler, CLogPipe* logPipe);
    ~CRTCM3Simulator() override;
    CRTCM3Simulator(const CRTCM3Simulator&) = delete;
    CRTCM3Simulator& operator=(const CRTCM3Simulator&) = delete;

    // Taken by the next Start. False, changing nothing, for settings that
    // CheckRTCM3SimSettings refuses.
    bool SetSettings(const sRTCM3SimSettings& settings);
    sRTCM3SimSettings Settings() const;

    // Counts epochs from 0 towards limit (kNoLimit: none) and creates the
    // generator thread. False without a handler, while one runs, or when the
    // thread could not be created.
    bool Start(long limit = kNoLimit);
    // Asks the thread to end and waits for it up to 15 s. False when it is
    // still running after that; it then keeps its stop request.
    bool Stop();
    bool IsRunning() const { return running.load(); }

    long GetSentCount() const { return sentCount.load(); }  // epochs
    long GetFrameCount() const { return frameCount.load(); }

    CLogNode log;

private:
    void Run(sRTCM3SimSettings settings, long epochLimit);
    void SendEpoch(const sRTCM3SimEpoch& epoch);

    CRTCM3InputHandler* const rtcm3Handler;
    mutable std::mutex settingsLock;
    sRTCM3SimSettings settings;  // under settingsLock
    std::atomic<bool> running{false};
    std::atomic<long> sentCount{0};
    std::atomic<long> frameCount{0};
    CEvent stop{CEvent::Reset::Manual};
    CEvent finished{CEvent::Reset::Manual};
    std::thread thread;
};

}  // namespace TolvarRT
