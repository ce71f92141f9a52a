// The reader thread of a network port: started with a started handshake,
// stopped through a flag and an eventfd that its poll() waits on.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "core/event.h"
#include "ports/platform/event_fd.h"

namespace TolvarRT {

// Thread rules: Start, Stop and IsRunning belong to the port's owner, never
// called concurrently with each other. StopRequested and StopFd are for the
// body running on the thread (and for waits on the owner's thread).
class CPortThread {
public:
    CPortThread() = default;
    CPortThread(const CPortThread&) = delete;
    CPortThread& operator=(const CPortThread&) = delete;
    ~CPortThread() { Stop(); }

    // Runs body on a new thread unless one is running, and waits up to 15 s
    // for it to start. The body returns once StopRequested is true.
    void Start(std::function<void()> body);
    // Asks the body to return and joins it; at once when nothing runs.
    void Stop();
    bool IsRunning() const { return worker.joinable(); }

    bool StopRequested() const { return stopFlag.load(); }
    // Readable while a stop is requested.
    int StopFd() const { return stopEvent.Fd(); }

private:
    std::thread worker;
    std::atomic<bool> stopFlag{false};
    CEventFd stopEvent;
    CEvent started{CEvent::Reset::Auto};
};

}  // namespace TolvarRT
