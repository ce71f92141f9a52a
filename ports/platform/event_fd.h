// A wake-up that a reader thread can wait for in the same poll() as its
// device: the stop request and the write-queued signal of a port.
#pragma once

namespace TolvarRT {

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
