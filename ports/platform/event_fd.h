// A wake-up that a reader thread can wait for in the same poll() as its
// device: the stop request and the write-queued signal of a port.
#pragma once

namespace TolvarRT {

// On Windows the number is a manual-reset event's handle (kernel handles fit
// in 32 bits), which the port's one WaitForMultipleObjects takes; there,
// Consume resets it.
//
// Thread rules: Signal may be called from any thread; Consume by the waiting
// thread. Signals coalesce until consumed, like an auto-reset event.
class CEventFd {
public:
    CEventFd();
    ~CEventFd();
    CEventFd(const CEventFd&) = delete;
    CEventFd& operator=(const CEventFd&) = delete;

    bool IsValid() const { return fd >= 0; }
    int Fd() const { return fd; }
    void Signal();
    // Clears the signal; true when it was set.
    bool Consume();

private:
    int fd;
};

}  // namespace TolvarRT
