// The one port interface that every transport implements: serial devices, the
// TCP client and the UDP link. A port runs its own reader thread that hands
// each chunk it reads to a callback, and accepts owned buffers to send.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/time_base.h"

class CLogPipe;

namespace TolvarRT {

// Device settings of a port.
struct PortSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t parity = 0;        // 0 none, 1 odd, 2 even
    std::uint8_t byteSize = 8;      // data bits
    std::uint8_t stopBits = 0;      // 0 = one stop bit
    std::uint32_t flowControl = 0;  // 0 none; non-zero: RTS handshaking; bit 0 also CTS output flow control
    std::uint32_t reserved = 0;
    std::uint32_t readTimeout = 0;  // ms: the reader thread's idle wake-up period
};

// A buffer handed to a port is the port's from then on.
using PortBuffer = std::vector<std::uint8_t>;
using OwnedPortBuffer = std::unique_ptr<PortBuffer>;

// Purge flags: abort or clear each direction.
enum PurgeFlags : unsigned {
    kPurgeTxAbort = 0x1,
    kPurgeRxAbort = 0x2,
    kPurgeTxClear = 0x4,
    kPurgeRxClear = 0x8,
};

// Thread rules: Open, Configure, StartThread and Close are called by the owner,
// never concurrently with each other; FailureReason belongs to the owner's
// thread as well, since Open and Configure write it. QueueWrite,
// QueueWriteFirst, Purge, SendBreak and SetCallback may be called from any
// thread. The callback runs on the reader thread only and must not keep the
// data pointer.
// The rover's position, for ports whose peer picks its data by it (a caster
// choosing corrections near the rover).
struct sGgaPosition {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double height = 0;     // metres above the geoid
};

class CSerialPortInterface {
public:
    using Callback = void (*)(void* owner, const std::uint8_t* data, std::uint32_t length);
    // For a port that knows when its bytes arrived better than the moment it
    // hands them over (a replayed recording); the owner is the callback's.
    using StampedCallback = void (*)(void* owner, const std::uint8_t* data, std::uint32_t length, TimeStamp timeStamp);

    CSerialPortInterface(void* owner, Callback callback, std::uint32_t firstUserValue, std::uint32_t secondUserValue)
        : owner(owner), callback(callback), userValues{firstUserValue, secondUserValue}
    {
    }
    CSerialPortInterface(const CSerialPortInterface&) = delete;
    CSerialPortInterface& operator=(const CSerialPortInterface&) = delete;
    // Owners call Close first: the destructor of a port stops its thread, but
    // the callback must not run into a half-destroyed owner.
    virtual ~CSerialPortInterface() = default;

    virtual bool Open(const char* portName) = 0;
    virtual bool IsOpen() = 0;
    virtual bool Configure(const PortSettings& newSettings) = 0;
    // False when the port was not open.
    virtual bool Close() = 0;
    virtual void StartThread() = 0;
    virtual void Purge(unsigned flags) = 0;
    virtual void QueueWrite(OwnedPortBuffer buffer) = 0;
    // Goes before every queued buffer, but never cuts into a write in progress.
    virtual void QueueWriteFirst(OwnedPortBuffer buffer) = 0;
    virtual void SetCallback(void* newOwner, Callback newCallback)
    {
        std::lock_guard<std::recursive_mutex> guard(callbackLock);
        owner = newOwner;
        callback = newCallback;
    }
    // Without the callback lock: an owner sets it holding its own lock, which
    // a delivery takes inside the callback lock.
    void SetStampedCallback(StampedCallback newCallback) { stampedCallback.store(newCallback); }
    virtual void SetUserValues(std::uint32_t first, std::uint32_t second)
    {
        userValues[0] = first;
        userValues[1] = second;
    }
    virtual void SendBreak(unsigned milliseconds) = 0;
    // Where the port logs what it drops; set by the owner before Open.
    virtual void SetLogPipe(CLogPipe* /*pipe*/) {}
    // Set before Open; ports that report no position to their peer ignore it.
    virtual void SetGgaPosition(std::optional<sGgaPosition> /*position*/) {}
    // How the open port's time stamps become UTC (seconds since 1970) for
    // whoever compares arrivals with the time a frame carries; empty: the
    // host's clock now (UnixSecondsAt). A replayed recording gives its
    // recorded UTC. The function stays valid after the port closes; it runs
    // on the reader thread, under the lock of the statistics it serves.
    using ArrivalClock = std::function<double(TimeStamp)>;
    virtual ArrivalClock ArrivalUtcClock() const { return {}; }

    const PortSettings& Settings() const { return settings; }
    const std::string& Name() const { return name; }
    // Why the last Open or Configure failed, for a person to read ("Permission
    // denied", "in use by another program"); empty after a success.
    const std::string& FailureReason() const { return failureReason; }

protected:
    // Open and Configure start with ClearFailure and end a failure with
    // `return Fail(reason)`.
    void ClearFailure() { failureReason.clear(); }
    bool Fail(std::string reason)
    {
        failureReason = std::move(reason);
        return false;
    }

    // Hands one chunk read by the reader thread to the owner.
    void Deliver(const std::uint8_t* data, std::uint32_t length)
    {
        std::lock_guard<std::recursive_mutex> guard(callbackLock);
        if (callback != nullptr && length > 0)
            callback(owner, data, length);
    }

    // Hands one chunk with its own time stamp; an owner that takes no stamps
    // gets it as any other chunk.
    void DeliverStamped(const std::uint8_t* data, std::uint32_t length, TimeStamp timeStamp)
    {
        std::lock_guard<std::recursive_mutex> guard(callbackLock);
        if (length == 0)
            return;
        if (const StampedCallback stamped = stampedCallback.load(); stamped != nullptr)
            stamped(owner, data, length, timeStamp);
        else if (callback != nullptr)
            callback(owner, data, length);
    }

    PortSettings settings;
    std::string name;

private:
    std::string failureReason;
    // The owner may swap the callback while the thread runs, even from inside it.
    std::recursive_mutex callbackLock;
    void* owner;
    Callback callback;
    std::atomic<StampedCallback> stampedCallback{nullptr};
    std::uint32_t userValues[2];
};

}  // namespace TolvarRT
