// POSIX sockets for the network ports: resolving, connecting with a bounded
// and interruptible wait, sends and receives.
#include "ports/network/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

namespace TolvarRT {
namespace {

bool SetBlocking(int fd, bool blocking)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

int PollRetrying(pollfd* fds, nfds_t count, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int result = poll(fds, count, timeoutMs);
        if (result >= 0 || errno != EINTR)
            return result;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeoutMs = left.count() > 0 ? int(left.count()) : 0;
        }
    }
}

std::string ErrorText(int error)
{
    return std::system_category().message(error);
}

// Non-blocking connect, then wait for it to finish, the stop fd or the
// time-out; on failure, failure says which.
bool ConnectOne(int fd, const addrinfo& address, int stopFd, int timeoutMs, std::string& failure)
{
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0)
        return true;
    if (const int error = errno; error != EINPROGRESS && error != EINTR) {
        failure = ErrorText(error);
        return false;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
    const int ready = PollRetrying(fds, 2, timeoutMs);
    if (ready < 0) {
        failure = ErrorText(errno);
        return false;
    }
    if (ready == 0) {
        failure = "timed out after " + std::to_string(timeoutMs) + " ms";
        return false;
    }
    if ((fds[1].revents & POLLIN) != 0) {
        failure = "stopped";
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0)
        failure = ErrorText(error);
    return error == 0;
}

}  // namespace

int ConnectSocket(const sNetAddress& address, SocketKind kind, int stopFd, int timeoutMs, std::string* failure)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = kind == SocketKind::Stream ? SOCK_STREAM : SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    std::string why = "no address found";
    if (const int resolved = getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found); resolved != 0) {
        if (failure != nullptr)
            *failure = resolved == EAI_SYSTEM ? ErrorText(errno) : gai_strerror(resolved);
        return -1;
    }
    int result = -1;
    for (const addrinfo* each = found; each != nullptr && result < 0; each = each->ai_next) {
        int fd = socket(each->ai_family, each->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, each->ai_protocol);
        if (fd < 0) {
            why = ErrorText(errno);
            continue;
        }
        const bool connected = ConnectOne(fd, *each, stopFd, timeoutMs, why);
        if (connected && SetBlocking(fd, true)) {
            result = fd;
        } else {
            if (connected)
                why = ErrorText(errno);
            CloseSocket(fd);
        }
        if (stopFd >= 0 && WaitReadable(-1, stopFd, 0) == WaitResult::Stopped)
            break;
    }
    if (found != nullptr)
        freeaddrinfo(found);
    if (result < 0 && failure != nullptr)
        *failure = std::move(why);
    return result;
}

void SetListenOptions(int fd)
{
    // A restarted test must not wait for the last run's connections to time
    // out; a port another listener holds stays refused (no port sharing).
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

namespace {

// A socket of the kind bound to the address (a numeric host), non-blocking; a
// stream socket also listens.
int BoundSocket(const std::string& host, std::uint16_t port, SocketKind kind, std::string* failure)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = kind == SocketKind::Stream ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int resolved = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); resolved != 0) {
        if (failure != nullptr)
            *failure = resolved == EAI_SYSTEM ? ErrorText(errno) : gai_strerror(resolved);
        return -1;
    }
    int result = -1;
    std::string why = "no address found";
    for (const addrinfo* each = found; each != nullptr && result < 0; each = each->ai_next) {
        int fd = socket(each->ai_family, each->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, each->ai_protocol);
        if (fd < 0) {
            why = ErrorText(errno);
            continue;
        }
        // On Linux a datagram socket with SO_REUSEADDR would share the port
        // with another that has it: two receivers, each getting some datagrams.
        if (kind == SocketKind::Stream)
            SetListenOptions(fd);
        if (bind(fd, each->ai_addr, each->ai_addrlen) == 0 && (kind == SocketKind::Datagram || listen(fd, 4) == 0))
            result = fd;
        else {
            why = ErrorText(errno);
            CloseSocket(fd);
        }
    }
    freeaddrinfo(found);
    if (result < 0 && failure != nullptr)
        *failure = std::move(why);
    return result;
}

}  // namespace

int ListenSocket(const std::string& host, std::uint16_t port, std::string* failure)
{
    return BoundSocket(host, port, SocketKind::Stream, failure);
}

int BindDatagramSocket(const std::string& host, std::uint16_t port, std::string* failure)
{
    return BoundSocket(host, port, SocketKind::Datagram, failure);
}

std::uint16_t SocketPort(int fd)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

int AcceptSocket(int listenFd)
{
    int fd;
    while ((fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) < 0 && errno == EINTR) {
    }
    return fd;
}

bool SetKeepAlive(int fd)
{
    const int on = 1;
    return setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0;
}

bool SetSendTimeout(int fd, int timeoutMs)
{
    timeval limit{};
    limit.tv_sec = timeoutMs / 1000;
    limit.tv_usec = (timeoutMs % 1000) * 1000;
    return setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

std::size_t SocketSendAll(int fd, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t result = send(fd, bytes + sent, length - sent, MSG_NOSIGNAL);
        if (result > 0)
            sent += std::size_t(result);
        else if (result < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return sent;
}

ssize_t SocketSendSome(int fd, const void* data, std::size_t length)
{
    ssize_t result;
    while ((result = send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT)) < 0 && errno == EINTR) {
    }
    return result;
}

sSocketReadiness WaitSocket(int fd, bool wantWrite, int stopFd, int wakeFd, int timeoutMs)
{
    pollfd fds[3] = {{stopFd, POLLIN, 0}, {fd, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}, {wakeFd, POLLIN, 0}};
    sSocketReadiness ready;
    if (PollRetrying(fds, 3, timeoutMs) <= 0)
        return ready;
    ready.stopped = (fds[0].revents & POLLIN) != 0;
    ready.readable = (fds[1].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0;
    ready.writable = (fds[1].revents & POLLOUT) != 0;
    ready.woken = (fds[2].revents & POLLIN) != 0;
    return ready;
}

ssize_t SocketReceive(int fd, SocketKind kind, void* data, std::size_t size)
{
    const int flags = MSG_DONTWAIT | (kind == SocketKind::Datagram ? MSG_TRUNC : 0);
    ssize_t result;
    while ((result = recv(fd, data, size, flags)) < 0 && errno == EINTR) {
    }
    return result;
}

sServerReadiness WaitServer(int listenFd, int client, bool wantWrite, int stopFd, int wakeFd)
{
    // A negative fd is skipped by poll(): no client, no entry.
    pollfd fds[4] = {{stopFd, POLLIN, 0},
                     {wakeFd, POLLIN, 0},
                     {listenFd, POLLIN, 0},
                     {client, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0}};
    sServerReadiness ready;
    if (PollRetrying(fds, 4, -1) <= 0)
        return ready;
    ready.stopped = fds[0].revents != 0;
    ready.woken = fds[1].revents != 0;
    ready.incoming = fds[2].revents != 0;
    ready.readable = (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    ready.writable = (fds[3].revents & POLLOUT) != 0;
    return ready;
}

WaitResult WaitReadable(int fd, int stopFd, int timeoutMs)
{
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}};
    const int result = PollRetrying(fds, 2, timeoutMs);
    if (result > 0 && (fds[0].revents & POLLIN) != 0)
        return WaitResult::Stopped;
    if (result > 0 && fds[1].revents != 0)
        return WaitResult::Readable;
    return WaitResult::Timeout;
}

void ShutdownSocket(int fd)
{
    if (fd >= 0)
        shutdown(fd, SHUT_RDWR);
}

void CloseSocket(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

}  // namespace TolvarRT
