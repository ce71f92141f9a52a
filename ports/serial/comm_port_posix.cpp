// The device is driven through the kernel's termios2 interface directly, so
// that any speed the driver accepts can be set, standard or not. <termios.h>
// must not be included here: its struct termios clashes with the kernel's.
#include "ports/serial/comm_port.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace TolvarRT {

namespace {

constexpr char kInUse[] = "in use by another program";

std::string ErrorText(int error)
{
    return std::system_category().message(error);
}

struct sSpeed {
    std::uint32_t rate;
    unsigned code;
};

// Speeds with a code of their own; old drivers only understand those.
constexpr sSpeed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

unsigned SpeedCode(std::uint32_t rate)
{
    for (const sSpeed& speed : kSpeeds) {
        if (speed.rate == rate)
            return speed.code;
    }
    return BOTHER;
}

std::uint32_t OutputSpeed(const termios2& settings)
{
    const unsigned code = settings.c_cflag & CBAUD;
    if (code == BOTHER)
        return settings.c_ospeed;
    for (const sSpeed& speed : kSpeeds) {
        if (speed.code == code)
            return speed.rate;
    }
    return 0;
}

// Pseudo-terminals and some adapters have no modem lines or error counters.
bool NotSupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS;
}

int Ioctl(int fd, unsigned long request, void* argument)
{
    int result;
    while ((result = ioctl(fd, request, argument)) < 0 && errno == EINTR) {
    }
    return result;
}

// The character size, parity and stop-bit part of c_cflag; empty, or why no
// UART has that framing. Parity uses the Windows numbering: 3 mark, 4 space.
std::string FramingFlags(const PortSettings& settings, unsigned& flags)
{
    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    static constexpr unsigned kParities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
    if (settings.byteSize < 5 || settings.byteSize > 8)
        return "unsupported framing: " + std::to_string(settings.byteSize) + " data bits";
    if (settings.parity > 4)
        return "unsupported framing: parity code " + std::to_string(settings.parity);
    flags = kSizes[settings.byteSize - 5] | kParities[settings.parity];
    switch (settings.stopBits) {
    case 0: return {};
    case 1:  // one and a half: the UART gives that for two with 5 data bits
        flags |= CSTOPB;
        return settings.byteSize == 5 ? std::string() : "unsupported framing: 1.5 stop bits need 5 data bits";
    case 2: flags |= CSTOPB; return {};
    default: return "unsupported framing: stop-bit code " + std::to_string(settings.stopBits);
    }
}

std::string SpeedRefused(std::uint32_t baudRate)
{
    return "the device does not take " + std::to_string(baudRate) + " baud";
}

}  // namespace

struct CCommPort::sOverlappedIo {};

CCommPort::CCommPort() = default;

CCommPort::~CCommPort()
{
    Close();
}

CCommPort::sDeviceReadiness CCommPort::WaitDevice(bool writing, int stopFd, int wakeFd,
                                                  std::chrono::milliseconds timeout)
{
    // A negative fd is skipped by poll(): a closed device is not waited on.
    pollfd waits[3] = {
        {Fd(), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0},
        {stopFd, POLLIN, 0},
        {wakeFd, POLLIN, 0},
    };
    const auto milliseconds = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX);
    sDeviceReadiness ready;
    // A signal ends the wait early, as a time-out would.
    if (poll(waits, 3, static_cast<int>(milliseconds)) <= 0)
        return ready;
    ready.ready = true;
    ready.readable = (waits[0].revents & POLLIN) != 0;
    ready.writable = (waits[0].revents & POLLOUT) != 0;
    ready.failed = (waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    ready.stopped = (waits[1].revents & POLLIN) != 0;
    ready.woken = (waits[2].revents & POLLIN) != 0;
    return ready;
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
    const int fd = ::open(devicePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // EBUSY: another program holds the device with TIOCEXCL.
        return Failed(error == EBUSY ? kInUse : ErrorText(error));
    }
    // TIOCEXCL keeps other users out but not root; the lock also keeps out
    // every program that locks its ports, root or not.
    termios2 current{};
    std::string refused;
    if (Ioctl(fd, TCGETS2, &current) != 0) {
        const int error = errno;
        refused = error == ENOTTY ? "not a serial device" : ErrorText(error);
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        refused = error == EWOULDBLOCK ? kInUse : ErrorText(error);
    } else if (Ioctl(fd, TIOCEXCL, nullptr) != 0) {
        refused = ErrorText(errno);
    }
    if (!refused.empty()) {
        ::close(fd);
        return Failed(std::move(refused));
    }
    {
        std::lock_guard<std::mutex> guard(deviceLock);
        device.store(fd, std::memory_order_release);
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
    Ioctl(fd, TIOCNXCL, nullptr);
    Ioctl(fd, TCFLSH, reinterpret_cast<void*>(TCIOFLUSH));
    // Linux releases the descriptor even when close reports EINTR.
    const bool closed = ::close(fd) == 0 || errno == EINTR;
    device.store(-1, std::memory_order_release);
    lastReadCount = 0;
    writeData = nullptr;
    writeSize = writeDone = 0;
    errorCounts = {};
    return closed;
}

int CCommPort::StartRead(std::uint8_t* buffer, std::uint32_t size)
{
    const int fd = Fd();
    if (fd < 0 || buffer == nullptr || size == 0)
        return kFailed;
    ssize_t count;
    while ((count = ::read(fd, buffer, size)) < 0 && errno == EINTR) {
    }
    if (count > 0) {
        lastReadCount = static_cast<std::uint32_t>(count);
        return kCompleted;
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return kPending;
    // With VMIN 1 a live line never reads 0 bytes: the device has hung up.
    return kFailed;
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
    writeSize = size;
    if (size == 0)
        return kCompleted;
    writeData = data;
    return ContinueWrite();
}

int CCommPort::ContinueWrite()
{
    const int fd = Fd();
    if (writeData == nullptr)
        return kFailed;
    while (fd >= 0) {
        const ssize_t count = ::write(fd, writeData + writeDone, writeSize - writeDone);
        if (count > 0) {
            writeDone += static_cast<std::uint32_t>(count);
            if (writeDone == writeSize) {
                writeData = nullptr;
                return kCompleted;
            }
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return kPending;
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    writeData = nullptr;
    return kFailed;
}

void CCommPort::CancelWrite()
{
    writeData = nullptr;
}

bool CCommPort::WriteResult(std::uint32_t& count) const
{
    count = writeDone;
    return IsOpen();
}

bool CCommPort::SetLineSettings(const PortSettings& settings)
{
    const int fd = Fd();
    if (fd < 0)
        return Failed("not open");
    // Speed 0 would hang up the line rather than set a speed.
    if (settings.baudRate == 0)
        return Failed(SpeedRefused(0));
    unsigned framing = 0;
    if (std::string refused = FramingFlags(settings, framing); !refused.empty())
        return Failed(std::move(refused));
    termios2 line{};
    if (Ioctl(fd, TCGETS2, &line) != 0)
        return Failed(ErrorText(errno));

    line.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    // CIBAUD 0: input at the output speed. CLOCAL: carrier detect is ignored.
    line.c_cflag |= SpeedCode(settings.baudRate) | framing | CREAD | CLOCAL;
    if (settings.flowControl != 0)
        line.c_cflag |= CRTSCTS;
    line.c_ispeed = line.c_ospeed = settings.baudRate;

    line.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                      IXANY | IXOFF | IMAXBEL | IUTF8);
    if (settings.parity != 0)
        line.c_iflag |= INPCK;
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE | IEXTEN | XCASE);
    // VMIN 1 makes an empty non-blocking read fail with EAGAIN; with 0 it
    // would read 0 bytes, which looks like a hang-up.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (Ioctl(fd, TCSETS2, &line) != 0)
        return Failed(ErrorText(errno));

    // A driver that cannot make the speed keeps another one.
    termios2 taken{};
    if (Ioctl(fd, TCGETS2, &taken) != 0)
        return Failed(ErrorText(errno));
    const std::uint64_t wanted = settings.baudRate, actual = OutputSpeed(taken);
    const std::uint64_t difference = actual > wanted ? actual - wanted : wanted - actual;
    return difference * 50 <= wanted || Failed(SpeedRefused(settings.baudRate));
}

bool CCommPort::SetModemLine(int line, bool on)
{
    const int fd = Fd();
    if (fd < 0)
        return Failed("not open");
    int bits = line;
    if (Ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return true;
    const int error = errno;
    return NotSupported(error) || Failed(ErrorText(error));
}

bool CCommPort::SetDtr(bool on)
{
    return SetModemLine(TIOCM_DTR, on);
}

bool CCommPort::SetRts(bool on)
{
    return SetModemLine(TIOCM_RTS, on);
}

bool CCommPort::ClearErrors(unsigned& errors)
{
    errors = 0;
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0)
        return false;
    serial_icounter_struct counts{};
    if (Ioctl(fd, TIOCGICOUNT, &counts) != 0)
        return NotSupported(errno);
    const sErrorCounts now{counts.frame, counts.overrun, counts.parity, counts.brk, counts.buf_overrun};
    if (now.frame != errorCounts.frame)
        errors |= kErrorFrame;
    if (now.overrun != errorCounts.overrun)
        errors |= kErrorOverrun;
    if (now.parity != errorCounts.parity)
        errors |= kErrorParity;
    if (now.brk != errorCounts.brk)
        errors |= kErrorBreak;
    if (now.bufferOverrun != errorCounts.bufferOverrun)
        errors |= kErrorBufferOverrun;
    errorCounts = now;
    return true;
}

bool CCommPort::PurgeDevice(unsigned flags)
{
    const bool transmit = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    const bool receive = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0)
        return false;
    if (!transmit && !receive)
        return true;
    const long queue = transmit && receive ? TCIOFLUSH : transmit ? TCOFLUSH : TCIFLUSH;
    return Ioctl(fd, TCFLSH, reinterpret_cast<void*>(queue)) == 0;
}

void CCommPort::SendBreak(unsigned milliseconds)
{
    // tcsendbreak has a fixed length; the break here lasts as long as asked.
    std::lock_guard<std::mutex> guard(deviceLock);
    const int fd = Fd();
    if (fd < 0 || Ioctl(fd, TIOCSBRK, nullptr) != 0)
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    Ioctl(fd, TIOCCBRK, nullptr);
}

}  // namespace TolvarRT
