// The fake ATS generator: about six ATS frames a second out of the Source
// port, each also published to the Source statistics.
#pragma once

#include <atomic>
#include <thread>

#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/ats_input_handler.h"
#include "ports/event.h"

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
    // False when none runs; otherwise waits for it to end.
    bool Stop();
    bool IsRunning() const { return running.load(); }

    CLogNode log;

private:
    void Run();

    CATSInputHandler* const atsHandler;
    CEvent stop{CEvent::Reset::Manual};
    CEvent finished{CEvent::Reset::Manual};
    std::atomic<bool> running{false};
    std::thread thread;
};

}  // namespace TolvarRT
