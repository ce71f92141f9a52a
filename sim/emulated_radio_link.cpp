#include "sim/emulated_radio_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

#include "decoders/dc_packet.h"
#include "decoders/rtcm3_parser.h"

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

bool IsRTCM3(const Bytes& packet)
{
    return !packet.empty() && packet[0] == CRTCM3Parser::kPreamble;
}

// Cuts whole data-collector packets and RTCM v3 frames out of a device's
// input; bytes between them are dropped. A start that proves false (no end
// byte, a bad CRC) drops its first byte and the search goes on after it.
class PacketCutter {
public:
    template <class OnPacket>
    void Feed(const std::uint8_t* data, std::size_t length, OnPacket&& onPacket)
    {
        buffer.insert(buffer.end(), data, data + length);
        for (;;) {
            const auto start = std::find_if(buffer.begin(), buffer.end(), [](std::uint8_t byte) {
                return byte == kPacketStx || byte == CRTCM3Parser::kPreamble;
            });
            buffer.erase(buffer.begin(), start);
            std::size_t size = 0;
            if (!WholeFrame(size))
                return;
            if (size == 0) {
                buffer.erase(buffer.begin());
                continue;
            }
            onPacket(Bytes(buffer.begin(), buffer.begin() + std::ptrdiff_t(size)));
            buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(size));
        }
    }

private:
    // False while the frame at the front is still arriving; otherwise its
    // size, 0 when it is none.
    bool WholeFrame(std::size_t& size) const
    {
        if (buffer.empty())
            return false;
        if (buffer[0] == kPacketStx) {
            if (buffer.size() < kPacketOverhead || buffer.size() < buffer[3] + kPacketOverhead)
                return false;
            size = buffer[3] + kPacketOverhead;
            if (buffer[size - 1] != kPacketEtx)
                size = 0;
            return true;
        }
        constexpr std::size_t kHeader = CRTCM3Parser::kHeaderSize;
        if (buffer.size() < kHeader)
            return false;
        const std::size_t body = kHeader + (std::size_t(buffer[1] & 0x03) << 8 | buffer[2]);
        if (buffer.size() < body + CRTCM3Parser::kCrcSize)
            return false;
        const std::uint32_t crc =
            std::uint32_t(buffer[body]) << 16 | std::uint32_t(buffer[body + 1]) << 8 | buffer[body + 2];
        size = (buffer[1] & 0xFC) == 0 && Crc24q(buffer.data(), body) == crc ? body + CRTCM3Parser::kCrcSize : 0;
        return true;
    }

    Bytes buffer;
};

struct Delivery {
    Clock::time_point due;
    Bytes bytes;
    bool corrupted;
    double delayMs;
};

}  // namespace

CEmulatedRadioLink::CEmulatedRadioLink(const sRadioChannel& radioChannel) : channel(radioChannel) {}

CEmulatedRadioLink::~CEmulatedRadioLink()
{
    Stop();
}

bool CEmulatedRadioLink::Start(std::string& error)
{
    if (!devices.Open(error))
        return false;
    devices.ClearStop();
    thread = std::thread([this] { Run(); });
    return true;
}

void CEmulatedRadioLink::Stop()
{
    if (!thread.joinable())
        return;
    devices.RequestStop();
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
        const bool rtcm3 = IsRTCM3(packet);
        if (!rtcm3 && packet[2] == kPacketIdentityRequest) {
            devices.Write(CLinkDevices::kBase, MakePacket(kPacketIdentityReply, kBaseIdentity));
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
            const std::size_t at =
                rtcm3 ? CRTCM3Parser::kHeaderSize + random() % (packet.size() - CRTCM3Parser::kHeaderSize)
                      : 4 + random() % (packet.size() - 5);
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
        if (IsRTCM3(packet))
            return;
        if (packet[2] == kPacketIdentityRequest)
            devices.Write(CLinkDevices::kRover, MakePacket(kPacketIdentityReply, kRoverIdentity));
        else if (packet[2] == kPacketRadioCommand)
            devices.Write(CLinkDevices::kRover, ack);
    };

    std::uint8_t buffer[4096];
    for (;;) {
        int timeout = -1;
        if (!queue.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(queue.front().due - Clock::now());
            timeout = int(std::max<long long>(0, wait.count() + 1));
        }
        const CLinkDevices::sReady ready = devices.Wait(timeout);
        if (ready.stopped)
            break;
        // Until the side is empty: a wire wakes the thread once for what
        // came meanwhile, however much that was.
        if (ready.readable[CLinkDevices::kBase]) {
            while (const std::size_t got = devices.Read(CLinkDevices::kBase, buffer, sizeof buffer))
                fromBase.Feed(buffer, got, onBasePacket);
        }
        if (ready.readable[CLinkDevices::kRover]) {
            while (const std::size_t got = devices.Read(CLinkDevices::kRover, buffer, sizeof buffer))
                fromRover.Feed(buffer, got, onRoverPacket);
        }
        const Clock::time_point now = Clock::now();
        while (!queue.empty() && queue.front().due <= now) {
            devices.Write(CLinkDevices::kRover, queue.front().bytes);
            std::lock_guard<std::mutex> guard(accountLock);
            ++(queue.front().corrupted ? account.corrupted : account.delivered);
            account.delaySumMs += queue.front().delayMs;
            queue.pop_front();
        }
    }
}

}  // namespace TolvarRT
