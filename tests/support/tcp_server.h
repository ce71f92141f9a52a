// A TCP server on 127.0.0.1 for the network port tests.
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
#include <mutex>
#include <vector>

#include "loopback.h"

namespace TolvarRT::testing {

// One listening socket and at most one accepted connection.
class CTcpServer {
public:
    ~CTcpServer() { Stop(); }

    // Port 0 picks a free one; false when the port is taken. A receive
    // buffer size (0: the system's, which grows) fixes how much a connection
    // takes in while the test reads nothing.
    bool Listen(std::uint16_t port = 0, int receiveBuffer = 0)
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (receiveBuffer > 0)
            setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address = Loopback(port);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 8) != 0) {
            Stop();
            return false;
        }
        boundPort = BoundPort(listener);
        return true;
    }
    std::uint16_t Port() const { return boundPort; }

    bool Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        CloseConnection();
        if (listener < 0 || !WaitReadable(listener, timeout))
            return false;
        connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        return connection >= 0;
    }
    bool Send(const Bytes& bytes)
    {
        return send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // Whatever arrives within timeout, up to count bytes.
    Bytes Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        Bytes received;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (received.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !WaitReadable(connection, left))
                break;
            std::uint8_t buffer[4096];
            const ssize_t got = recv(connection, buffer, std::min(sizeof buffer, count - received.size()), 0);
            if (got <= 0)
                break;
            received.insert(received.end(), buffer, buffer + got);
        }
        return received;
    }
    void CloseConnection()
    {
        if (connection >= 0)
            close(connection);
        connection = -1;
    }
    void Stop()
    {
        CloseConnection();
        if (listener >= 0)
            close(listener);
        listener = -1;
    }

private:
    int listener = -1;
    int connection = -1;
    std::uint16_t boundPort = 0;
};

}  // namespace TolvarRT::testing
