// Pseudo-terminal pairs for the serial port tests: the port opens the slave by
// its path, the test plays the device on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ports/serial_port_interface.h"

namespace TolvarRT {
namespace testing {

using Bytes = std::vector<std::uint8_t>;

// Bytes whose order shows: a dropped, doubled or swapped piece breaks the
// sequence.
inline Bytes Pattern(std::size_t length, unsigned seed = 0)
{
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + seed) % 251);
    return bytes;
}

inline OwnedPortBuffer Buffer(const Bytes& bytes)
{
    return std::make_unique<PortBuffer>(bytes);
}

// The test keeps a descriptor of the slave too, so that the master reads
// normally while no port has the slave open.
class PtyPair {
public:
    PtyPair()
    {
        char name[128] = {};
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        if (ttyname_r(slave, name, sizeof name) == 0)
            slavePath = name;
    }
    ~PtyPair()
    {
        CloseMaster();
        if (slave >= 0)
            close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return master >= 0 && !slavePath.empty(); }
    const std::string& SlavePath() const { return slavePath; }
    const char* Path() const { return slavePath.c_str(); }
    int Master() const { return master; }

    void CloseMaster()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    bool WaitReadable(std::chrono::milliseconds timeout) const
    {
        pollfd wait{master, POLLIN, 0};
        return poll(&wait, 1, static_cast<int>(timeout.count())) == 1 && (wait.revents & POLLIN) != 0;
    }

    // Reads until count bytes have come or nothing has come for quiet.
    Bytes Read(std::size_t count, std::chrono::milliseconds quiet = std::chrono::seconds(10)) const
    {
        Bytes bytes;
        std::uint8_t chunk[4096];
        while (bytes.size() < count && WaitReadable(quiet)) {
            const ssize_t got = read(master, chunk, std::min(sizeof chunk, count - bytes.size()));
            if (got <= 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    // Whatever one read gives once bytes are there; empty after 10 s without.
    Bytes ReadSome() const
    {
        std::uint8_t chunk[4096];
        const ssize_t got = WaitReadable(std::chrono::seconds(10)) ? read(master, chunk, sizeof chunk) : 0;
        return Bytes(chunk, chunk + std::max<ssize_t>(got, 0));
    }

    // Writes all of it, waiting for room when the slave side is full.
    bool Write(const Bytes& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = write(master, bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            pollfd wait{master, POLLOUT, 0};
            if (put < 0 && errno != EAGAIN)
                return false;
            if (poll(&wait, 1, 10000) != 1)
                return false;
        }
        return true;
    }

private:
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

}  // namespace testing
}  // namespace TolvarRT
