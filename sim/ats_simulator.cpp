#include "sim/ats_simulator.h"

#include "core/time_base.h"
#include "ports/platform/periodic_timer.h"

namespace TolvarRT {
namespace {

constexpr auto kTickWait = std::chrono::milliseconds(1000);
constexpr auto kWindDown = std::chrono::milliseconds(100);

}  // namespace

CATSSimulator::CATSSimulator(CATSInputHandler* handler, CLogPipe* logPipe) : log(logPipe), atsHandler(handler) {}

CATSSimulator::~CATSSimulator()
{
    Stop();
    // A thread that did not end in time still uses this object.
    if (thread.joinable())
        thread.join();
}

bool CATSSimulator::Start()
{
    // Tested before the stop event is reset: a thread that has not yet obeyed
    // a Stop must keep its request, or it would run on unowned.
    if (running.load())
        return false;
    stop.Clear();
    if (thread.joinable())
        thread.join();  // one that ended by itself
    finished.Clear();
    running.store(true);
    thread = std::thread([this] { Run(); });
    return true;
}

bool CATSSimulator::Stop()
{
    if (!thread.joinable())
        return false;
    stop.Set();
    // A thread stuck in a send or a subscriber must not hang its owner; it
    // is joined by a later Stop or by the destructor.
    if (!finished.WaitFor(stopWait)) {
        log.LogAlways("Fake ATS generator did not stop within %lld ms", static_cast<long long>(stopWait.count()));
        return false;
    }
    thread.join();
    return true;
}

void CATSSimulator::Run()
{
    CPeriodicTimer timer;
    timer.Set(std::chrono::system_clock::now(), kPeriod);
    log.LogBasic("Using Fake ATS Generation");
    CATSInputHandler::FakeATSFrame frame;
    for (;;) {
        const CPeriodicTimer::WaitResult result = timer.Wait(stop, kTickWait);
        if (result == CPeriodicTimer::WaitResult::Stop)
            break;
        if (result != CPeriodicTimer::WaitResult::Tick)
            continue;
        if (atsHandler == nullptr)
            continue;
        const TimeStamp now = TimeStampNow();
        atsHandler->BuildFakeATS(frame);
        // Counted at the Source before it leaves: on a fast link the Listener
        // may decode the frame before this thread runs again, and a frame
        // received before its source record would be unmatched, then missed.
        TSubscription<IIncommingATSPipe>::Publish(
            [&](IIncommingATSPipe& pipe) { pipe.OnATSFrame(0, frame.data(), std::uint16_t(frame.size()), now); });
        atsHandler->SendFakeATS(frame);
    }
    std::this_thread::sleep_for(kWindDown);
    timer.Cancel();
    stop.Set();
    running.store(false);
    finished.Set();
}

}  // namespace TolvarRT
