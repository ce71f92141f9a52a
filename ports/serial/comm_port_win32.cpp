// A Windows serial device, opened for overlapped I/O. Reads take what the
// driver holds and return at once (the read time-outs say so); when it holds
// nothing, an overlapped WaitCommEvent for the next received byte is kept
// pending, so that its event shares one WaitForMultipleObjects with the
// port's stop and write-queued events. A write the driver cannot take at
// once completes later through an event of its own. (A read kept pending
// with "return on the first byte" time-outs would do as well on Windows, but
// wine never completes it.)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "ports/serial/comm_port.h"

namespace TolvarRT {

struct CCommPort::sOverlappedIo {
    OVERLAPPED read{};
    OVERLAPPED write{};
    bool readPending = false;
    bool writePending = false;
    std::vector<std::uint8_t> inbox = std::vector<std::uint8_t>(4096);
    std::size_t inboxBegin = 0;
    std::size_t inboxEnd = 0;

    sOverlappedIo()
    {
        read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        write.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~sOverlappedIo()
    {
        CloseHandle(read.hEvent);
        CloseHandle(write.hEvent);
        CloseHandle(readNowDone);
    }
    sOverlappedIo(const sOverlappedIo&) = delete;
    sOverlappedIo& operator=(const sOverlappedIo&) = delete;

    // Fills the empty inbox from the driver, or starts the wait for the next
    // byte: kCompleted when bytes are in, kPending while none are, kFailed
    // when the device failed.
    int Fill(HANDLE device, int attempts = 2);
    // What the driver holds, without waiting.
    int ReadNow(HANDLE device);

    DWORD eventMask = 0;
    std::atomic<DWORD> lineErrors{0};  // CE_ flags seen by reads, for ClearErrors
    HANDLE readNowDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

namespace {

constexpr char kInUse[] = "in use by another program";

HANDLE Handle(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

std::string ErrorText(DWORD error)
{
    return std::system_category().message(int(error));
}

// A purge aborts the pending read: that is no failure of the device.
bool Aborted(DWORD error)
{
    return error == ERROR_OPERATION_ABORTED;
}

}  // namespace

int CCommPort::sOverlappedIo::Fill(HANDLE device, int attempts)
{
    // The wait for a byte, when one was pending, has ended or goes on.
    if (readPending) {
        DWORD ignored = 0;
        if (!GetOverlappedResult(device, &read, &ignored, FALSE)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_INCOMPLETE && !Aborted(error))
                return kFailed;
            if (error == ERROR_IO_INCOMPLETE)
                return ReadNow(device);
        }
        readPending = false;
    }
    if (const int result = ReadNow(device); result != kPending)
        return result;
    ResetEvent(read.hEvent);
    if (!WaitCommEvent(device, &eventMask, &read)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return kFailed;
        readPending = true;
        // A byte that came after the read and before the wait was armed
        // raises no event: read once more.
        return ReadNow(device);
    }
    // An event was there already: its byte is read on the next attempt.
    return attempts > 1 ? Fill(device, attempts - 1) : kPending;
}

int CCommPort::sOverlappedIo::ReadNow(HANDLE device)
{
    // Only what the driver says it holds is asked for, so the read returns
    // at once on every driver (wine's leaves a read of more waiting). The
    // line errors learnt on the way are kept for ClearErrors.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(device, &errors, &status))
        return kFailed;
    lineErrors.fetch_or(errors, std::memory_order_relaxed);
    const DWORD wanted = std::min<DWORD>(status.cbInQue, DWORD(inbox.size()));
    if (wanted == 0)
        return kPending;
    OVERLAPPED now{};
    now.hEvent = readNowDone;
    DWORD count = 0;
    if (!ReadFile(device, inbox.data(), wanted, nullptr, &now) &&
        (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(device, &now, &count, TRUE)))
        return Aborted(GetLastError()) ? kPending : kFailed;
    if (count == 0 && !GetOverlappedResult(device, &now, &count, FALSE))
        return kFailed;
    inboxBegin = 0;
    inboxEnd = count;
    return count == 0 ? kPending : kCompleted;
}

CCommPort::CCommPort() = default;

CCommPort::~CCommPort()
{
    Close();
}

bool CCommPort::Failed(std::string reason)
{
    lastFailure = std::move(reason);
    return false;
}

bool CCommPort::Open(const char* devicePath)
{
    if (IsOpen())
        return Failed("already open");
    if (devicePath == nullptr || *devicePath == '\0')
        return Failed("not a serial port name");
    // No sharing: Windows keeps every other program (and a second open of
    // ours) out of a serial device for as long as it is open.
    HANDLE handle =
        CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return Failed(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? kInUse : ErrorText(error));
    }
    DCB line{};
    line.DCBlength = sizeof line;
    // A read returns at once with what is there, if anything.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    std::string refused;
    if (!GetCommState(handle, &line))
        refused = "not a serial device";
    else if (!SetCommTimeouts(handle, &timeouts) || !SetCommMask(handle, EV_RXCHAR | EV_ERR | EV_BREAK))
        refused = ErrorText(GetLastError());
    if (!refused.empty()) {
        CloseHandle(handle);
        return Failed(std::move(refused));
    }
    SetupComm(handle, 4096, 4096);
    {
        std::lock_guard<std::mutex> guard(deviceLock);
        io = std::make_unique<sOverlappedIo>();
        device.store(static_cast<int>(reinterpret_cast<std::intptr_t>(handle)), std::memory_order_release);
        lastReadCount = 0;
        writeData = nullptr;
        writeSize = writeDone = 0;
    }
    unsigned ignored = 0;
    ClearErrors(ignored);  // counts start at the open
    return true;
}

bool CCommPort::Close()
{
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = device.load(std::memory_order_acquire);
    if (fd < 0)
        return false;
    HANDLE handle = Handle(fd);
    // Every overlapped call ends before its OVERLAPPED goes.
    CancelIo(handle);
    DWORD ignored = 0;
    if (io->readPending)
        GetOverlappedResult(handle, &io->read, &ignored, TRUE);
    if (io->writePending)
        GetOverlappedResult(handle, &io->write, &ignored, TRUE);
    PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    const bool closed = CloseHandle(handle) != 0;
    device.store(-1, std::memory_order_release);
    io.reset();
    lastReadCount = 0;
    writeData = nullptr;
    writeSize = writeDone = 0;
    return closed;
}

int CCommPort::StartRead(std::uint8_t* buffer, std::uint32_t size)
{
    const int fd = Fd();
    if (fd < 0 || buffer == nullptr || size == 0)
        return kFailed;
    sOverlappedIo& state = *io;
    if (state.inboxBegin == state.inboxEnd) {
        if (const int result = state.Fill(Handle(fd)); result != kCompleted)
            return result;
    }
    const std::size_t taken = std::min<std::size_t>(size, state.inboxEnd - state.inboxBegin);
    std::memcpy(buffer, state.inbox.data() + state.inboxBegin, taken);
    state.inboxBegin += taken;
    lastReadCount = std::uint32_t(taken);
    return kCompleted;
}

bool CCommPort::ReadResult(std::uint32_t& count) const
{
    count = IsOpen() ? lastReadCount : 0;
    return IsOpen();
}

int CCommPort::StartWrite(const std::uint8_t* data, std::uint32_t size)
{
    if (!IsOpen() || WriteInProgress() || (data == nullptr && size > 0))
        return kFailed;
    writeDone = 0;
    if (size == 0)
        return kCompleted;
    writeData = data;
    writeSize = size;
    ResetEvent(io->write.hEvent);
    if (WriteFile(Handle(Fd()), data, size, nullptr, &io->write)) {
        DWORD count = 0;
        GetOverlappedResult(Handle(Fd()), &io->write, &count, FALSE);
        writeDone = count;
        writeData = nullptr;
        return kCompleted;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        io->writePending = true;
        return kPending;
    }
    writeData = nullptr;
    return kFailed;
}

int CCommPort::ContinueWrite()
{
    const int fd = Fd();
    if (writeData == nullptr || fd < 0)
        return kFailed;
    DWORD count = 0;
    if (!GetOverlappedResult(Handle(fd), &io->write, &count, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE)
            return kPending;
        io->writePending = false;
        writeData = nullptr;
        return kFailed;
    }
    io->writePending = false;
    writeDone = count;
    writeData = nullptr;
    return count == writeSize ? kCompleted : kFailed;
}

void CCommPort::CancelWrite()
{
    const int fd = Fd();
    if (fd >= 0 && io != nullptr && io->writePending) {
        CancelIoEx(Handle(fd), &io->write);
        DWORD count = 0;
        GetOverlappedResult(Handle(fd), &io->write, &count, TRUE);
        writeDone = count;
        io->writePending = false;
    }
    writeData = nullptr;
}

bool CCommPort::WriteResult(std::uint32_t& count) const
{
    count = writeDone;
    return IsOpen();
}

CCommPort::sDeviceReadiness CCommPort::WaitDevice(bool writing, int stopFd, int wakeFd,
                                                  std::chrono::milliseconds timeout)
{
    sDeviceReadiness ready;
    HANDLE handles[4];
    DWORD count = 0;
    int readAt = -1, writeAt = -1, stopAt = -1, wakeAt = -1;
    if (const int fd = Fd(); fd >= 0) {
        // Bytes already read, a read that completes at once or one that
        // fails: no wait.
        if (io->inboxBegin == io->inboxEnd && !io->readPending) {
            const int result = io->Fill(Handle(fd));
            ready.failed = result == kFailed;
        }
        if (io->inboxBegin < io->inboxEnd || ready.failed) {
            ready.ready = true;
            ready.readable = !ready.failed;
            return ready;
        }
        if (io->readPending) {
            readAt = int(count);
            handles[count++] = io->read.hEvent;
        }
        if (writing && io->writePending) {
            writeAt = int(count);
            handles[count++] = io->write.hEvent;
        }
    }
    if (stopFd >= 0) {
        stopAt = int(count);
        handles[count++] = Handle(stopFd);
    }
    if (wakeFd >= 0) {
        wakeAt = int(count);
        handles[count++] = Handle(wakeFd);
    }
    const DWORD limit = DWORD(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, MAXDWORD - 1));
    const DWORD result =
        count == 0 ? (Sleep(limit), WAIT_TIMEOUT) : WaitForMultipleObjects(count, handles, FALSE, limit);
    if (result >= WAIT_OBJECT_0 + count)
        return ready;
    const auto isSet = [&](int at) { return at >= 0 && WaitForSingleObject(handles[at], 0) == WAIT_OBJECT_0; };
    ready.ready = true;
    ready.readable = isSet(readAt);
    ready.writable = isSet(writeAt);
    ready.stopped = isSet(stopAt);
    ready.woken = isSet(wakeAt);
    return ready;
}

bool CCommPort::SetLineSettings(const PortSettings& settings)
{
    const int fd = Fd();
    if (fd < 0)
        return Failed("not open");
    if (settings.baudRate == 0)
        return Failed("the device does not take 0 baud");
    if (settings.byteSize < 5 || settings.byteSize > 8)
        return Failed("unsupported framing: " + std::to_string(settings.byteSize) + " data bits");
    if (settings.parity > 4)
        return Failed("unsupported framing: parity code " + std::to_string(settings.parity));
    if (settings.stopBits > 2)
        return Failed("unsupported framing: stop-bit code " + std::to_string(settings.stopBits));
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(Handle(fd), &line))
        return Failed(ErrorText(GetLastError()));
    line.BaudRate = settings.baudRate;
    line.ByteSize = settings.byteSize;
    // The codes are Windows' own: none, odd, even, mark, space; one, one and
    // a half, two stop bits.
    line.Parity = settings.parity;
    line.StopBits = settings.stopBits;
    line.fBinary = TRUE;
    line.fParity = settings.parity != 0;
    line.fOutxCtsFlow = (settings.flowControl & 1) != 0;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = settings.flowControl != 0 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    if (!SetCommState(Handle(fd), &line))
        return Failed("the device does not take " + std::to_string(settings.baudRate) + " baud");
    return true;
}

bool CCommPort::SetModemLine(int line, bool on)
{
    const int fd = Fd();
    if (fd < 0)
        return Failed("not open");
    const DWORD function = line == SETDTR ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    if (EscapeCommFunction(Handle(fd), function))
        return true;
    // A device without modem lines (a pseudo-terminal behind an emulator).
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER ||
           Failed(ErrorText(error));
}

bool CCommPort::SetDtr(bool on)
{
    return SetModemLine(SETDTR, on);
}

bool CCommPort::SetRts(bool on)
{
    return SetModemLine(SETRTS, on);
}

bool CCommPort::ClearErrors(unsigned& errors)
{
    errors = 0;
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0)
        return false;
    DWORD flags = 0;
    if (!ClearCommError(Handle(fd), &flags, nullptr))
        flags = 0;  // nothing to learn, as from a driver that counts nothing
    flags |= io->lineErrors.exchange(0, std::memory_order_relaxed);
    if (flags & CE_FRAME)
        errors |= kErrorFrame;
    if (flags & CE_OVERRUN)
        errors |= kErrorOverrun;
    if (flags & CE_RXPARITY)
        errors |= kErrorParity;
    if (flags & CE_BREAK)
        errors |= kErrorBreak;
    if (flags & CE_RXOVER)
        errors |= kErrorBufferOverrun;
    return true;
}

bool CCommPort::PurgeDevice(unsigned flags)
{
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0)
        return false;
    // The purge flags are Windows' own PURGE_ values. An aborted read is
    // started again by the reader thread.
    const DWORD purge = flags & (PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    return purge == 0 || PurgeComm(Handle(fd), purge);
}

void CCommPort::SendBreak(unsigned milliseconds)
{
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0 || !SetCommBreak(Handle(fd)))
        return;
    Sleep(milliseconds);
    ClearCommBreak(Handle(fd));
}

}  // namespace TolvarRT
