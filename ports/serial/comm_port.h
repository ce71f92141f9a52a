// The owner of one serial device: opens it for this process alone, moves bytes
// without ever waiting, and sets up the line (speed, framing, handshake,
// modem lines). It knows nothing of threads or queues.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ports/serial_port_interface.h"

namespace TolvarRT {

// Thread rules: Open, Close, SetLineSettings, the modem-line calls and
// LastFailure belong to the owner. Reads belong to one thread at a time; the write calls
// (StartWrite, ContinueWrite, CancelWrite, WriteInProgress, WriteResult) must
// be serialised by the caller, who also keeps the data of a write in progress
// alive. IsOpen, Fd, ClearErrors, PurgeDevice and SendBreak may be called
// from any thread; Close waits for a break in progress to end.
class CCommPort {
public:
    // Results of StartRead, StartWrite and ContinueWrite.
    enum StartResult : int { kCompleted = 0, kPending = 1, kFailed = 2 };

    // Line errors reported by ClearErrors.
    enum LineErrors : unsigned {
        kErrorFrame = 0x1,
        kErrorOverrun = 0x2,
        kErrorParity = 0x4,
        kErrorBreak = 0x8,
        kErrorBufferOverrun = 0x10,
    };

    CCommPort();
    ~CCommPort();
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    // Opens a device file exclusively (TIOCEXCL and an exclusive lock), not
    // as the controlling terminal, non-blocking. Fails when already open, when
    // the file is not a terminal or when another user holds it.
    bool Open(const char* devicePath);
    // Why the last Open, SetLineSettings, SetDtr or SetRts that failed did so:
    // the system's words for the error, "in use by another program", "not a
    // serial device", or what the device does not take. Read it right after
    // the failure: later calls replace it.
    const std::string& LastFailure() const { return lastFailure; }
    // Discards the bytes not yet sent or read, then closes. False when closed
    // or when closing failed.
    bool Close();
    bool IsOpen() const { return device.load(std::memory_order_acquire) >= 0; }
    // The descriptor to wait on (on Windows the device's handle); -1 when
    // closed.
    int Fd() const { return device.load(std::memory_order_acquire); }

    struct sDeviceReadiness {
        bool ready = false;     // anything below; false after the time-out
        bool readable = false;  // StartRead has something to say
        bool writable = false;  // ContinueWrite may go on
        bool failed = false;    // an error or a hang-up
        bool stopped = false;   // stopFd is signalled
        bool woken = false;     // wakeFd is signalled
    };
    // The reader thread's one wait: on the device (bytes to read; room for
    // the write in progress when writing), unless closed, and on the stop and
    // wake events, for at most timeout. On Windows the device's part is the
    // completion of the overlapped read (started here when none is pending)
    // and write.
    sDeviceReadiness WaitDevice(bool writing, int stopFd, int wakeFd, std::chrono::milliseconds timeout);

    // Reads what is there, up to size bytes: kCompleted (ReadResult has the
    // count), kPending (nothing yet, wait for POLLIN), kFailed (error, hang-up
    // or closed).
    int StartRead(std::uint8_t* buffer, std::uint32_t size);
    // The count of the last completed read; false when closed.
    bool ReadResult(std::uint32_t& count) const;

    // Writes as much as the driver takes at once: kCompleted when all of it
    // went, kPending when the rest waits for POLLOUT and ContinueWrite
    // (data must stay valid until then), kFailed on error, when closed or when
    // a write is already in progress.
    int StartWrite(const std::uint8_t* data, std::uint32_t size);
    // Goes on with the write in progress; results as StartWrite. A failed
    // write is no longer in progress.
    int ContinueWrite();
    // Gives up the write in progress; what the driver already took is sent.
    void CancelWrite();
    bool WriteInProgress() const { return writeData != nullptr; }
    // Bytes the last write has handed to the driver so far.
    bool WriteResult(std::uint32_t& count) const;

    // Raw 8-bit line with the given speed, framing and RTS/CTS handshake.
    // Fails on a speed, parity, byte size or stop-bit setting the device does
    // not take; a speed is taken when the driver keeps it within 2 %.
    bool SetLineSettings(const PortSettings& settings);
    // Modem lines; a device without them (a pseudo-terminal) succeeds.
    bool SetDtr(bool on);
    bool SetRts(bool on);
    // Collects the line errors counted since the last call. The driver keeps
    // working through them, so this only takes note.
    bool ClearErrors(unsigned& errors);
    // Discards the device's buffers selected by PurgeFlags.
    bool PurgeDevice(unsigned flags);
    // Holds the line in the break state for that long, then releases it.
    void SendBreak(unsigned milliseconds);

private:
    bool SetModemLine(int line, bool on);
    // Records why an owner's call fails; returns false.
    bool Failed(std::string reason);

    std::atomic<int> device{-1};
    // Keeps the descriptor open during a purge or a break; guards errorCounts.
    std::mutex deviceLock;

    std::string lastFailure;
    std::uint32_t lastReadCount = 0;
    const std::uint8_t* writeData = nullptr;  // null when no write is in progress
    std::uint32_t writeSize = 0;
    std::uint32_t writeDone = 0;

    // Driver error counters at the last ClearErrors.
    struct sErrorCounts {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
    } errorCounts;

    // Windows only: the overlapped read and write and their events.
    struct sOverlappedIo;
    std::unique_ptr<sOverlappedIo> io;
};

}  // namespace TolvarRT
