// The serial port: a reader thread that waits in one poll() on the device, its
// stop signal and its write-queued signal, delivers every chunk it reads and
// writes the queued buffers one after another.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/event.h"
#include "ports/comm_port.h"
#include "ports/event_fd.h"
#include "ports/port_write_queue.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

// Thread rules: Open, Configure, StartThread and Close belong to the owner and
// are never called concurrently with each other. QueueWrite, QueueWriteFirst,
// Purge and SendBreak may be called from any thread; the queue lock serialises
// them with the reader thread, which is the only thread that reads the device,
// calls the callback and starts writes. Close stops the thread, so the
// callback must not wait for the thread that calls Close.
class tThreadedCommport : public CSerialPortInterface, protected CCommPort {
public:
    static constexpr std::uint32_t kReadBufferSize = 1024;
    static constexpr std::chrono::milliseconds kDefaultIdlePeriod{10000};
    // A write the device has not taken whole by then is given up, as a serial
    // driver's write time-out would.
    static constexpr std::chrono::milliseconds kWriteTimeout{30000};
    static constexpr std::chrono::milliseconds kThreadWait{15000};
    static constexpr std::chrono::milliseconds kDtrSettle{100};

    tThreadedCommport(void* owner, Callback callback, std::uint32_t firstUserValue, std::uint32_t secondUserValue);
    // Stops the thread if the owner has not, then closes the device and drops
    // the queue.
    ~tThreadedCommport() override;

    // Opens the device that ResolveSerialDeviceName finds for portName.
    bool Open(const char* portName) override;
    bool IsOpen() override;
    // Sets the line and the idle period (readTimeout; 0 keeps the default).
    bool Configure(const PortSettings& newSettings) override;
    // Lowers DTR, stops the thread, discards what the device still holds and
    // drops every queued buffer unwritten. Also false when the thread did not
    // end in time: then the port stays open and Close can be tried again.
    bool Close() override;
    // Starts the reader thread of an open port unless it runs, and waits for
    // it to start.
    void StartThread() override;
    // Drops every queued buffer, the one being written too, then discards the
    // device buffers selected by flags.
    void Purge(unsigned flags) override;
    void QueueWrite(OwnedPortBuffer buffer) override;
    void QueueWriteFirst(OwnedPortBuffer buffer) override;
    void SendBreak(unsigned milliseconds) override;
    void SetLogPipe(CLogPipe* pipe) override;
    // Buffers refused by a full write queue since construction.
    std::uint64_t DroppedWrites();

private:
    using Clock = std::chrono::steady_clock;

    void ThreadMain();
    // Reads and delivers chunks while the driver has bytes; false when the
    // device failed or hung up.
    bool ReadBurst();
    // Writes queued buffers until one has to wait for the device.
    void PumpWrites();
    // Asks the thread to end and waits up to timeout; true when it has.
    bool StopThread(std::chrono::milliseconds timeout);
    void DropQueue();

    std::uint8_t readBuffer[kReadBufferSize];
    std::thread readerThread;
    CEvent started{CEvent::Reset::Auto};
    CEvent finished;
    CEventFd stopSignal;
    CEventFd writeQueued;
    std::atomic<bool> stopRequested{false};
    std::atomic<std::int64_t> idlePeriodMs{kDefaultIdlePeriod.count()};

    std::mutex queueLock;
    // Guarded by queueLock, as are the write calls of CCommPort. The head is
    // the buffer being written; it stays there until all of it is written.
    // Bounded by a few seconds of the configured line rate.
    CPortWriteQueue writeQueue;
    Clock::time_point writeStarted;
};

}  // namespace TolvarRT
