// Start and stop of a network port's reader thread.
#include "ports/port_thread.h"

#include <chrono>
#include <utility>

namespace TolvarRT {

void CPortThread::Start(std::function<void()> body)
{
    if (worker.joinable())
        return;
    started.Clear();
    worker = std::thread([this, run = std::move(body)] {
        started.Set();
        run();
    });
    started.WaitFor(std::chrono::milliseconds(15000));
}

void CPortThread::Stop()
{
    if (!worker.joinable())
        return;
    stopFlag.exchange(true);
    stopEvent.Signal();
    worker.join();
    // Ready for the next Start.
    stopEvent.Consume();
    stopFlag.store(false);
}

}  // namespace TolvarRT
