// The far end of a UDP link for the network port tests, on 127.0.0.1: it
// speaks the link protocol by hand, datagram by datagram.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <vector>

#include "loopback.h"
#include "ports/network/udp_link.h"

namespace TolvarRT::testing {

inline Bytes MakeDatagram(std::uint8_t type, std::uint8_t linkId, std::uint32_t sequence, const Bytes& payload = {})
{
    Bytes datagram(8 + payload.size());
    datagram[0] = 8;
    datagram[1] = linkId;
    datagram[2] = type;
    datagram[4] = std::uint8_t(sequence >> 24);
    datagram[5] = std::uint8_t(sequence >> 16);
    datagram[6] = std::uint8_t(sequence >> 8);
    datagram[7] = std::uint8_t(sequence);
    // Guarded: GCC 12 at -O1 under ThreadSanitizer takes the empty copy
    // just past a header-only datagram for an overrun (-Warray-bounds).
    if (!payload.empty())
        std::copy(payload.begin(), payload.end(), datagram.begin() + 8);
    return datagram;
}

struct sHeader {
    std::uint8_t headerLength, linkId, type;
    std::uint32_t sequence;
};

inline sHeader ReadHeader(const Bytes& datagram)
{
    if (datagram.size() < 8)
        return {0, 0, 0xFF, 0};
    return {datagram[0], datagram[1], datagram[2],
            (std::uint32_t(datagram[4]) << 24) | (std::uint32_t(datagram[5]) << 16) |
                (std::uint32_t(datagram[6]) << 8) | std::uint32_t(datagram[7])};
}

// The converter's side of the UDP link, scripted by the test.
class CUdpPeer {
public:
    CUdpPeer()
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        boundPort = BoundPort(fd);
    }
    ~CUdpPeer() { close(fd); }
    std::uint16_t Port() const { return boundPort; }

    // The next datagram, remembering who sent it; false on time-out.
    bool Receive(Bytes& datagram, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        if (!WaitReadable(fd, timeout))
            return false;
        datagram.resize(2048);
        socklen_t size = sizeof client;
        const ssize_t got =
            recvfrom(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&client), &size);
        if (got < 0)
            return false;
        datagram.resize(std::size_t(got));
        return true;
    }
    // Skips datagrams of other types (keep-alives) until one of type arrives.
    bool ReceiveType(std::uint8_t type, Bytes& datagram, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (!Receive(datagram, left))
                return false;
            if (ReadHeader(datagram).type == type)
                return true;
        }
        return false;
    }
    void SendRaw(const Bytes& datagram)
    {
        sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&client), sizeof client);
    }
    // Numbers the datagram with the peer's running total.
    void Send(std::uint8_t type, std::uint8_t linkId, const Bytes& payload = {})
    {
        sentTotal += std::uint32_t(8 + payload.size());
        SendRaw(MakeDatagram(type, linkId, sentTotal, payload));
    }
    // Plays the converter's part of a handshake: while work (a port's Open or
    // Close, which waits for the answer) runs on a thread of its own, answers
    // the port's datagram of type request with one of type answer. What work
    // returned; false when no request came.
    template <class Work>
    bool AnswerWhile(std::uint8_t request, std::uint8_t answer, std::uint8_t linkId, Work work)
    {
        auto done = std::async(std::launch::async, work);
        Bytes datagram;
        if (!ReceiveType(request, datagram))
            return false;
        Send(answer, linkId);
        return done.get();
    }
    std::uint32_t sentTotal = 0;

private:
    int fd = -1;
    std::uint16_t boundPort = 0;
    sockaddr_in client{};
};

}  // namespace TolvarRT::testing
