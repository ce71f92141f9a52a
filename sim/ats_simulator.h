// The fake ATS generator: about six ATS frames a second out of the Source
// port, each also published to the Source statistics.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "core/event.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/ats_input_handler.h"

namespace TolvarRT {

// Thread rules: Start and Stop belong to the owner's thread. Frames are built,
// sent and published on the generator thread; subscribers are called without
// the generator's lock, so they may come and go meanwhile.
class CATSSimulator : public TSubscription<IIncommingATSPipe>, public TSubscription<IATSSimStatus> {
public:
    static constexpr auto kPeriod = std::chrono::milliseconds(166);

    CATSSimulator(CATSInputHandler* atsHandler, CLogPipe* logPipe);
    ~CATSSimulator() override;

    // False when a generator thread already runs.
    bool Start();
    // False when none runs, and when it has not ended within the stop wait
    // (15 s); it then keeps its stop request and Start refuses to run another.
    bool Stop();
    void SetStopWait(std::chrono::milliseconds wait) { stopWait = wait; }
    bool IsRunning() const { return running.load(); }

    CLogNode log;

private:
    void Run();

    CATSInputHandler* const atsHandler;
    CEvent stop{CEvent::Reset::Manual};
    CEvent finished{CEvent::Reset::Manual};
    std::atomic<bool> running{false};
    std::chrono::milliseconds stopWait{15000};
    std::thread thread;
};

}  // namespace TolvarRT
