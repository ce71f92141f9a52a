// Each side a pseudo-terminal pair: the tool opens the slave by its path, the
// link reads and writes the master, and one poll() waits on both masters and
// the stop eventfd.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ports/platform/event_fd.h"
#include "sim/link_devices.h"

namespace TolvarRT {

struct CLinkDevices::sDevices {
    int master[2] = {-1, -1};
    int slave[2] = {-1, -1};
    std::string path[2];
    CEventFd stop;

    ~sDevices()
    {
        for (int side = 0; side < 2; ++side)
            for (int fd : {master[side], slave[side]})
                if (fd >= 0)
                    close(fd);
    }
};

namespace {

bool OpenPair(int& master, int& slave, std::string& path)
{
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    // Raw on the device side, so every byte passes unchanged.
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    path = name;
    return true;
}

}  // namespace

CLinkDevices::CLinkDevices() : devices(std::make_unique<sDevices>()) {}

CLinkDevices::~CLinkDevices() = default;

bool CLinkDevices::Open(std::string& error)
{
    for (int side = 0; side < 2; ++side) {
        if (!OpenPair(devices->master[side], devices->slave[side], devices->path[side])) {
            error = std::string("cannot make pseudo-terminals: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

const std::string& CLinkDevices::PortName(Side side) const
{
    return devices->path[side];
}

CLinkDevices::sReady CLinkDevices::Wait(int timeoutMs)
{
    pollfd waits[3] = {
        {devices->stop.Fd(), POLLIN, 0}, {devices->master[kBase], POLLIN, 0}, {devices->master[kRover], POLLIN, 0}};
    sReady ready;
    if (poll(waits, 3, timeoutMs) < 0)
        return ready;  // a signal: as a time-out
    ready.stopped = (waits[0].revents & POLLIN) != 0;
    ready.readable[kBase] = (waits[1].revents & POLLIN) != 0;
    ready.readable[kRover] = (waits[2].revents & POLLIN) != 0;
    return ready;
}

void CLinkDevices::RequestStop()
{
    devices->stop.Signal();
}

void CLinkDevices::ClearStop()
{
    devices->stop.Consume();
}

std::size_t CLinkDevices::Read(Side side, std::uint8_t* data, std::size_t size)
{
    const ssize_t got = read(devices->master[side], data, size);
    return got > 0 ? std::size_t(got) : 0;
}

void CLinkDevices::Write(Side side, const std::vector<std::uint8_t>& bytes)
{
    const int fd = devices->master[side];
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += std::size_t(put);
        } else if (put < 0 && errno == EAGAIN) {
            pollfd wait{fd, POLLOUT, 0};
            if (poll(&wait, 1, 1000) <= 0)
                return;  // nobody reads the far end: the bytes are gone, as on a cable
        } else if (put < 0 && errno != EINTR) {
            return;
        }
    }
}

}  // namespace TolvarRT
