// The reader thread sleeps in one wait (poll(), or WaitForMultipleObjects on
// Windows) until the device has bytes or room for a
// pending write, a buffer is queued, the port is stopped or the idle period
// ends. A device that has hung up keeps reporting itself ready, so after a
// failure the thread closes it and only waits for the stop signal and the
// next due time of a reopen attempt.
#include "ports/serial/threaded_commport.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "ports/serial/serial_device_name.h"

namespace TolvarRT {

namespace {

// A flood is read in bursts of this many chunks between two waits, so that
// pending writes and the stop request are seen in time.
constexpr unsigned kMaxChunksPerBurst = 64;

std::chrono::milliseconds TimeLeft(std::chrono::steady_clock::duration left)
{
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(left), std::chrono::milliseconds(0));
}

}  // namespace

tThreadedCommport::tThreadedCommport(void* owner, Callback callback, std::uint32_t firstUserValue,
                                     std::uint32_t secondUserValue)
    : CSerialPortInterface(owner, callback, firstUserValue, secondUserValue)
{
}

tThreadedCommport::~tThreadedCommport()
{
    // The thread uses this object: it must be gone whatever it takes.
    stopRequested.store(true, std::memory_order_release);
    stopSignal.Signal();
    if (readerThread.joinable())
        readerThread.join();
    DropQueue();
    CCommPort::Close();
    portOpen.store(false);
}

bool tThreadedCommport::Open(const char* portName)
{
    ClearFailure();
    if (portOpen.load())
        return Fail("already open");
    if (portName == nullptr)
        return Fail("not a serial port name");
    if (!stopSignal.IsValid() || !writeQueued.IsValid())
        return Fail("no event descriptors for the reader thread");
    std::string path = ResolveSerialDeviceName(portName);
    {
        std::lock_guard<std::mutex> line(lineLock);
        if (!CCommPort::Open(path.c_str()))
            return Fail(LastFailure());
        lineConfigured = false;
    }
    devicePath = std::move(path);
    name = portName;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetName(name);
    }
    DropQueue();
    writeQueued.Consume();
    portOpen.store(true);
    return true;
}

bool tThreadedCommport::IsOpen()
{
    return portOpen.load();
}

bool tThreadedCommport::Configure(const PortSettings& newSettings)
{
    ClearFailure();
    if (!portOpen.load())
        return Fail("not open");
    std::lock_guard<std::mutex> line(lineLock);
    settings = newSettings;
    lineConfigured = true;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetLimit(CPortWriteQueue::LimitForLine(newSettings));
    }
    idlePeriodMs.store(newSettings.readTimeout != 0 ? newSettings.readTimeout : kDefaultIdlePeriod.count(),
                       std::memory_order_relaxed);
    if (!CCommPort::IsOpen())
        return Fail("the device is gone; the settings apply when it returns");
    // Every step is tried even when an earlier one failed; the first failure
    // is the reason given.
    bool configured = true;
    const auto step = [&](bool done, const char* reason = nullptr) {
        if (!done && configured)
            Fail(reason != nullptr ? std::string(reason) : LastFailure());
        configured = configured && done;
    };
    step(SetLineSettings(newSettings));
    step(SetDtr(true));
    // Without handshaking RTS stays low; with it the driver moves RTS itself.
    step(SetRts(newSettings.flowControl != 0));
    unsigned errors = 0;
    // ClearErrors also runs on the reader thread, so it records no reason.
    step(ClearErrors(errors), "the line's error counters cannot be read");
    return configured;
}

bool tThreadedCommport::Close()
{
    if (!portOpen.load())
        return false;
    bool lowered;
    {
        std::lock_guard<std::mutex> line(lineLock);
        lowered = CCommPort::IsOpen() && SetDtr(false);
    }
    // A device that has gone has no line to settle.
    if (lowered)
        std::this_thread::sleep_for(kDtrSettle);
    if (!StopThread(kThreadWait))
        return false;
    std::lock_guard<std::mutex> guard(queueLock);
    const bool closed = !CCommPort::IsOpen() || CCommPort::Close();
    writeQueue.Clear();
    portOpen.store(false);
    return closed;
}

void tThreadedCommport::StartThread()
{
    if (!portOpen.load())
        return;
    if (readerThread.joinable()) {
        if (!finished.IsSet())
            return;
        readerThread.join();
    }
    stopRequested.store(false, std::memory_order_release);
    stopSignal.Consume();
    finished.Clear();
    started.Clear();
    try {
        readerThread = std::thread([this] {
            ThreadMain();
            finished.Set();
        });
    } catch (const std::system_error&) {
        return;  // no thread: the port stays open and quiet
    }
    started.WaitFor(kThreadWait);
}

bool tThreadedCommport::StopThread(std::chrono::milliseconds timeout)
{
    if (!readerThread.joinable())
        return true;
    // A callback that closes its own port cannot wait for itself.
    if (readerThread.get_id() == std::this_thread::get_id())
        return false;
    stopRequested.store(true, std::memory_order_release);
    stopSignal.Signal();
    if (!finished.WaitFor(timeout))
        return false;
    readerThread.join();
    return true;
}

void tThreadedCommport::Purge(unsigned flags)
{
    std::lock_guard<std::mutex> guard(queueLock);
    // The head may be half written; its data goes with it.
    CancelWrite();
    writeQueue.Clear();
    PurgeDevice(flags);
}

void tThreadedCommport::QueueWrite(OwnedPortBuffer buffer)
{
    if (!buffer)
        return;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        if (!writeQueue.Push(std::move(buffer), false, WriteInProgress()))
            return;
    }
    writeQueued.Signal();
}

void tThreadedCommport::QueueWriteFirst(OwnedPortBuffer buffer)
{
    if (!buffer)
        return;
    {
        std::lock_guard<std::mutex> guard(queueLock);
        if (!writeQueue.Push(std::move(buffer), true, WriteInProgress()))
            return;
    }
    writeQueued.Signal();
}

void tThreadedCommport::SendBreak(unsigned milliseconds)
{
    CCommPort::SendBreak(milliseconds);
}

void tThreadedCommport::SetLogPipe(CLogPipe* pipe)
{
    {
        std::lock_guard<std::mutex> guard(queueLock);
        writeQueue.SetLogPipe(pipe);
    }
    log.Attach(pipe);
}

std::uint64_t tThreadedCommport::DroppedWrites()
{
    std::lock_guard<std::mutex> guard(queueLock);
    return writeQueue.DroppedBuffers();
}

void tThreadedCommport::DropQueue()
{
    std::lock_guard<std::mutex> guard(queueLock);
    CancelWrite();
    writeQueue.Clear();
}

void tThreadedCommport::ThreadMain()
{
    started.Set();
    while (!stopRequested.load(std::memory_order_acquire)) {
        if (CCommPort::IsOpen() && !ServeDevice())
            break;
        if (!AwaitDevice())
            break;
    }
}

bool tThreadedCommport::ServeDevice()
{
    auto idlePeriod = [this] { return std::chrono::milliseconds(idlePeriodMs.load(std::memory_order_relaxed)); };
    if (!ReadBurst())
        return true;
    while (!stopRequested.load(std::memory_order_acquire)) {
        Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = now + idlePeriod();
        bool writing;
        {
            std::lock_guard<std::mutex> guard(queueLock);
            writing = WriteInProgress();
            if (writing)
                wakeAt = std::min(wakeAt, writeStarted + kWriteTimeout);
        }
        const sDeviceReadiness ready = WaitDevice(writing, stopSignal.Fd(), writeQueued.Fd(), TimeLeft(wakeAt - now));
        if (stopRequested.load(std::memory_order_acquire))
            break;

        bool failed = false;
        if (ready.readable)
            failed = !ReadBurst();
        if (ready.failed)
            failed = true;
        // Idle time-out: look for bytes a wait may have missed.
        if (!ready.ready && !failed)
            failed = !ReadBurst();
        if (failed)
            return true;
        if (ready.woken)
            writeQueued.Consume();
        if (ready.woken || ready.writable || (!ready.ready && writing))
            PumpWrites();
    }
    return false;
}

bool tThreadedCommport::AwaitDevice()
{
    {
        std::lock_guard<std::mutex> line(lineLock);
        std::lock_guard<std::mutex> guard(queueLock);
        // Nothing queued for the device that went goes to the one that returns.
        CancelWrite();
        writeQueue.Clear();
        CCommPort::Close();
    }
    const std::chrono::milliseconds period(std::max<std::int64_t>(reopenPeriodMs.load(), 1));
    log.LogBasic("%s: the device has gone; it is looked for every %lld ms", name.c_str(),
                 static_cast<long long>(period.count()));
    Clock::time_point due = Clock::now() + period;
    while (!stopRequested.load(std::memory_order_acquire)) {
        // The device is closed: only the events are waited on.
        const sDeviceReadiness ready =
            WaitDevice(false, stopSignal.Fd(), writeQueued.Fd(), TimeLeft(due - Clock::now()));
        if (stopRequested.load(std::memory_order_acquire))
            break;
        if (ready.woken) {
            // Written to no device: dropped at once rather than kept for one
            // that may never return.
            writeQueued.Consume();
            DropQueue();
        }
        const Clock::time_point now = Clock::now();
        if (now < due)
            continue;
        if (Reopen()) {
            log.LogBasic("%s: the device is back", name.c_str());
            return true;
        }
        // The next point of the grid still ahead: a late attempt does not
        // shift the ones after it, and missed ones are not made up.
        due += period * ((now - due) / period + 1);
    }
    return false;
}

bool tThreadedCommport::Reopen()
{
    reopenAttempts.fetch_add(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> line(lineLock);
    {
        std::lock_guard<std::mutex> guard(queueLock);
        if (!CCommPort::Open(devicePath.c_str()))
            return false;
    }
    if (!lineConfigured)
        return true;
    unsigned errors = 0;
    if (SetLineSettings(settings) && SetDtr(true) && SetRts(settings.flowControl != 0) && ClearErrors(errors))
        return true;
    // A device that does not take the line it had is not the one that went.
    std::lock_guard<std::mutex> guard(queueLock);
    CCommPort::Close();
    return false;
}

bool tThreadedCommport::ReadBurst()
{
    for (unsigned chunk = 0; chunk < kMaxChunksPerBurst; ++chunk) {
        if (stopRequested.load(std::memory_order_acquire))
            return true;
        const int result = StartRead(readBuffer, kReadBufferSize);
        if (result == kPending)
            return true;
        std::uint32_t count = 0;
        if (result == kFailed || !ReadResult(count))
            return false;
        Deliver(readBuffer, count);
        if (count < kReadBufferSize)
            return true;  // the driver had no more
    }
    return true;
}

void tThreadedCommport::PumpWrites()
{
    std::lock_guard<std::mutex> guard(queueLock);
    while (!writeQueue.Empty()) {
        int result;
        if (WriteInProgress()) {
            if (Clock::now() - writeStarted >= kWriteTimeout) {
                CancelWrite();
                result = kFailed;
            } else {
                result = ContinueWrite();
            }
        } else {
            const PortBuffer& head = writeQueue.Head();
            writeStarted = Clock::now();
            result =
                head.size() > UINT32_MAX ? kFailed : StartWrite(head.data(), static_cast<std::uint32_t>(head.size()));
        }
        if (result == kPending)
            return;
        // Written whole, refused or timed out: the next buffer's turn.
        writeQueue.PopHead();
    }
}

}  // namespace TolvarRT
