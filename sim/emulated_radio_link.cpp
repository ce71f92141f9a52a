#include "sim/emulated_radio_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

#include "decoders/dc_packet.h"

namespace TolvarRT {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

Bytes MakePacket(std::uint8_t type, const std::string& data)
{
    const Bytes field(data.begin(), data.end());
    Bytes packet = {kPacketStx, 0, type, std::uint8_t(field.size())};
    for (std::uint8_t byte : field)
        packet.push_back(byte);
    packet.push_back(PacketChecksum(0, type, field.data(), std::uint8_t(field.size())));
    packet.push_back(kPacketEtx);
    return packet;
}

void WriteAll(int fd, const Bytes& bytes)
{
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

// Cuts whole data-collector packets out of a device's input; bytes between
// packets are dropped.
class PacketCutter {
public:
    template <class OnPacket>
    void Feed(const std::uint8_t* data, std::size_t length, OnPacket&& onPacket)
    {
        buffer.insert(buffer.end(), data, data + length);
        for (;;) {
            const auto stx = std::find(buffer.begin(), buffer.end(), std::uint8_t(kPacketStx));
            buffer.erase(buffer.begin(), stx);
            if (buffer.size() < kPacketOverhead || buffer.size() < buffer[3] + kPacketOverhead)
                return;
            const std::size_t size = buffer[3] + kPacketOverhead;
            if (buffer[size - 1] != kPacketEtx) {
                buffer.erase(buffer.begin());
                continue;
            }
            onPacket(Bytes(buffer.begin(), buffer.begin() + std::ptrdiff_t(size)));
            buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(size));
        }
    }

private:
    Bytes buffer;
};

struct Delivery {
    Clock::time_point due;
    Bytes bytes;
    bool corrupted;
    double delayMs;
};

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

CEmulatedRadioLink::CEmulatedRadioLink(const sRadioChannel& radioChannel) : channel(radioChannel) {}

CEmulatedRadioLink::~CEmulatedRadioLink()
{
    Stop();
    for (int fd : {baseMaster, baseSlave, roverMaster, roverSlave})
        if (fd >= 0)
            close(fd);
}

bool CEmulatedRadioLink::Start(std::string& error)
{
    if (!OpenPair(baseMaster, baseSlave, basePath) || !OpenPair(roverMaster, roverSlave, roverPath)) {
        error = std::string("cannot make pseudo-terminals: ") + std::strerror(errno);
        return false;
    }
    stop.Consume();
    thread = std::thread([this] { Run(); });
    return true;
}

void CEmulatedRadioLink::Stop()
{
    if (!thread.joinable())
        return;
    stop.Signal();
    thread.join();
}

sRadioAccount CEmulatedRadioLink::Account() const
{
    std::lock_guard<std::mutex> guard(accountLock);
    return account;
}

void CEmulatedRadioLink::Run()
{
    std::mt19937 random(channel.seed);
    std::uniform_real_distribution<double> percent(0.0, 100.0);
    std::uniform_int_distribution<unsigned> jitter(0, channel.jitterMs);
    std::deque<Delivery> queue;
    PacketCutter fromBase, fromRover;
    Clock::time_point lastDue{};
    const Bytes ack = MakePacket(kPacketRadioCommand, "\xA2");
    const Clock::time_point started = Clock::now();
    const auto inDropWindow = [&](Clock::time_point at) {
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - started).count();
        return std::any_of(channel.dropWindows.begin(), channel.dropWindows.end(), [ms](const sDropWindow& window) {
            return ms >= (long long)window.fromMs && ms < (long long)window.toMs;
        });
    };

    const auto onBasePacket = [&](Bytes packet) {
        const std::uint8_t type = packet[2];
        if (type == kPacketIdentityRequest) {
            WriteAll(baseMaster, MakePacket(kPacketIdentityReply, kBaseIdentity));
            return;
        }
        // Everything else goes over the air.
        std::lock_guard<std::mutex> guard(accountLock);
        ++account.sent;
        if (inDropWindow(Clock::now())) {
            ++account.dropped;
            ++account.droppedInWindows;
            return;
        }
        if (percent(random) < channel.lossPercent) {
            ++account.dropped;
            return;
        }
        const bool corrupt = percent(random) < channel.corruptPercent;
        if (corrupt) {
            // One byte of the data field (or the checksum), never the framing.
            const std::size_t at = 4 + random() % (packet.size() - 5);
            packet[at] ^= std::uint8_t(1 + random() % 255);
        }
        const Clock::time_point now = Clock::now();
        Clock::time_point due = now + std::chrono::milliseconds(channel.latencyMs + jitter(random));
        due = std::max(due, lastDue);  // a radio keeps the order
        lastDue = due;
        queue.push_back(
            {due, std::move(packet), corrupt, std::chrono::duration<double, std::milli>(due - now).count()});
    };
    const auto onRoverPacket = [&](const Bytes& packet) {
        if (packet[2] == kPacketIdentityRequest)
            WriteAll(roverMaster, MakePacket(kPacketIdentityReply, kRoverIdentity));
        else if (packet[2] == kPacketRadioCommand)
            WriteAll(roverMaster, ack);
    };

    std::uint8_t buffer[4096];
    for (;;) {
        int timeout = -1;
        if (!queue.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(queue.front().due - Clock::now());
            timeout = int(std::max<long long>(0, wait.count() + 1));
        }
        pollfd waits[3] = {{stop.Fd(), POLLIN, 0}, {baseMaster, POLLIN, 0}, {roverMaster, POLLIN, 0}};
        if (poll(waits, 3, timeout) < 0 && errno != EINTR)
            break;
        if (waits[0].revents & POLLIN)
            break;
        if (waits[1].revents & POLLIN) {
            const ssize_t got = read(baseMaster, buffer, sizeof buffer);
            if (got > 0)
                fromBase.Feed(buffer, std::size_t(got), onBasePacket);
        }
        if (waits[2].revents & POLLIN) {
            const ssize_t got = read(roverMaster, buffer, sizeof buffer);
            if (got > 0)
                fromRover.Feed(buffer, std::size_t(got), onRoverPacket);
        }
        const Clock::time_point now = Clock::now();
        while (!queue.empty() && queue.front().due <= now) {
            WriteAll(roverMaster, queue.front().bytes);
            std::lock_guard<std::mutex> guard(accountLock);
            ++(queue.front().corrupted ? account.corrupted : account.delivered);
            account.delaySumMs += queue.front().delayMs;
            queue.pop_front();
        }
    }
}

}  // namespace TolvarRT
