// The serial port: a reader thread that waits in one poll() on the device, its
// stop signal and its write-queued signal, delivers every chunk it reads and
// writes the queued buffers one after another. A device that goes away (an
// adapter pulled, a radio rebooted) does not close the port: the thread
// closes the device and opens the same path again once a second until it is
// back, and the bytes it reads then go to the same owner as before.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "core/event.h"
#include "core/log_pipe.h"
#include "ports/platform/event_fd.h"
#include "ports/port_write_queue.h"
#include "ports/serial/comm_port.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

// Thread rules: Open, Configure, StartThread and Close belong to the owner and
// are never called concurrently with each other. QueueWrite, QueueWriteFirst,
// Purge and SendBreak may be called from any thread; the queue lock serialises
// them with the reader thread, which is the only thread that reads the device,
// calls the callback and starts writes. Close stops the thread, so the
// callback must not wait for the thread that calls Close. The line lock
// serialises the owner's line set-up with the reader thread reopening a
// device that has gone.
class tThreadedCommport : public CSerialPortInterface, protected CCommPort {
public:
    static constexpr std::uint32_t kReadBufferSize = 1024;
    static constexpr std::chrono::milliseconds kDefaultIdlePeriod{10000};
    // A write the device has not taken whole by then is given up, as a serial
    // driver's write time-out would.
    static constexpr std::chrono::milliseconds kWriteTimeout{30000};
    static constexpr std::chrono::milliseconds kThreadWait{15000};
    static constexpr std::chrono::milliseconds kDtrSettle{100};
    // How often a device that has gone is looked for.
    static constexpr std::chrono::milliseconds kDefaultReopenPeriod{1000};

    tThreadedCommport(void* owner, Callback callback, std::uint32_t firstUserValue, std::uint32_t secondUserValue);
    // Stops the thread if the owner has not, then closes the device and drops
    // the queue.
    ~tThreadedCommport() override;

    // Opens the device that ResolveSerialDeviceName finds for portName.
    bool Open(const char* portName) override;
    // True from a successful Open until Close, also while the device is gone.
    bool IsOpen() override;
    // Sets the line and the idle period (readTimeout; 0 keeps the default).
    // While the device is gone the settings are kept for its return and the
    // result is false.
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

    // False while the device is gone and the thread waits for it.
    bool DevicePresent() const { return CCommPort::IsOpen(); }
    // Attempts to open a device that had gone, since construction.
    std::uint64_t ReopenAttempts() const { return reopenAttempts.load(std::memory_order_relaxed); }
    // Set before StartThread.
    void SetReopenPeriod(std::chrono::milliseconds period) { reopenPeriodMs.store(period.count()); }

private:
    using Clock = std::chrono::steady_clock;

    void ThreadMain();
    // Serves a device that is there until it fails or the port is stopped;
    // true when it failed.
    bool ServeDevice();
    // Closes the failed device and waits, once a period on a fixed grid, until
    // the same path opens again or the port is stopped; true when it is back.
    bool AwaitDevice();
    // Opens the device path and sets the line up as last configured.
    bool Reopen();
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
    std::atomic<std::int64_t> reopenPeriodMs{kDefaultReopenPeriod.count()};
    std::atomic<std::uint64_t> reopenAttempts{0};
    std::atomic<bool> portOpen{false};
    std::string devicePath;  // written by Open before the thread starts

    // Taken before the queue lock. Guards the line set-up (CCommPort's owner
    // calls and settings) and the reader thread's closing and reopening.
    std::mutex lineLock;
    bool lineConfigured = false;  // Configure was called; under the line lock
    CLogNode log;

    std::mutex queueLock;
    // Guarded by queueLock, as are the write calls of CCommPort. The head is
    // the buffer being written; it stays there until all of it is written.
    // Bounded by a few seconds of the configured line rate.
    CPortWriteQueue writeQueue;
    Clock::time_point writeStarted;
};

}  // namespace TolvarRT
