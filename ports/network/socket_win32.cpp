// Winsock 2 for the network ports. Every wait is one WaitForMultipleObjects
// on the stop and wake events and an event that WSAEventSelect ties to each
// socket for the length of the wait. Between waits a socket rests in
// blocking mode; the calls that must not block switch it for their length.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include "ports/network/socket.h"

namespace TolvarRT {
namespace {

// Winsock is started once for the life of the program.
struct sWinsock {
    sWinsock()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~sWinsock() { WSACleanup(); }
};
const sWinsock winsock;

SOCKET Socket(int fd)
{
    return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned>(fd));
}

HANDLE EventHandle(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

std::string ErrorText(int error)
{
    return std::system_category().message(error);
}

// The callers test errno, as on POSIX.
void SetErrnoFromSocket()
{
    switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK: errno = EAGAIN; break;
    case WSAEINTR: errno = EINTR; break;
    case WSAECONNABORTED: errno = ECONNABORTED; break;
    case WSAECONNRESET: errno = ECONNRESET; break;
    case WSAETIMEDOUT: errno = ETIMEDOUT; break;
    default: errno = EIO; break;
    }
}

bool SetBlocking(int fd, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(Socket(fd), FIONBIO, &nonBlocking) == 0;
}

// What one wait watches: a socket with the network events wanted, or an
// event (-1: nothing); fired says what woke it.
struct sWatch {
    int fd = -1;
    bool isSocket = false;
    long wanted = 0;
    long fired = 0;
};

// One wait on everything watched; false on a time-out or a failure.
bool WaitAny(sWatch* watches, int count, int timeoutMs)
{
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    WSAEVENT socketEvents[MAXIMUM_WAIT_OBJECTS];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        socketEvents[i] = WSA_INVALID_EVENT;
        if (watches[i].fd < 0)
            continue;
        if (watches[i].isSocket) {
            socketEvents[i] = WSACreateEvent();
            // A condition already present (bytes queued, room to send, a
            // connection waiting) sets the event at once.
            WSAEventSelect(Socket(watches[i].fd), socketEvents[i], watches[i].wanted);
            handles[used++] = socketEvents[i];
        } else {
            handles[used++] = EventHandle(watches[i].fd);
        }
    }
    const DWORD result =
        used == 0 ? (timeoutMs < 0 ? WAIT_FAILED : (Sleep(DWORD(timeoutMs)), WAIT_TIMEOUT))
                  : WaitForMultipleObjects(DWORD(used), handles, FALSE, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    const bool woken = result < WAIT_OBJECT_0 + DWORD(used);
    for (int i = 0; i < count; ++i) {
        watches[i].fired = 0;
        if (watches[i].fd < 0)
            continue;
        if (watches[i].isSocket) {
            WSANETWORKEVENTS events{};
            if (woken && WSAEnumNetworkEvents(Socket(watches[i].fd), socketEvents[i], &events) == 0)
                watches[i].fired = events.lNetworkEvents;
            WSAEventSelect(Socket(watches[i].fd), nullptr, 0);
            SetBlocking(watches[i].fd, true);
            WSACloseEvent(socketEvents[i]);
        } else if (woken && WaitForSingleObject(EventHandle(watches[i].fd), 0) == WAIT_OBJECT_0) {
            watches[i].fired = 1;
        }
    }
    return woken;
}

bool ConnectOne(int fd, const addrinfo& address, int stopFd, int timeoutMs, std::string& failure)
{
    SetBlocking(fd, false);
    if (connect(Socket(fd), address.ai_addr, int(address.ai_addrlen)) == 0)
        return true;
    if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
        failure = ErrorText(error);
        return false;
    }
    sWatch watches[2] = {{stopFd, false, 0, 0}, {fd, true, FD_CONNECT, 0}};
    if (!WaitAny(watches, 2, timeoutMs)) {
        failure = "timed out after " + std::to_string(timeoutMs) + " ms";
        return false;
    }
    if (watches[0].fired != 0) {
        failure = "stopped";
        return false;
    }
    int error = 0;
    int size = sizeof error;
    if (getsockopt(Socket(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        error = WSAGetLastError();
    if (error != 0)
        failure = ErrorText(error);
    return error == 0;
}

int NewSocket(const addrinfo& address, std::string& why)
{
    const SOCKET sock = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (sock == INVALID_SOCKET) {
        why = ErrorText(WSAGetLastError());
        return -1;
    }
    return static_cast<int>(sock);
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
            *failure = ErrorText(resolved);
        return -1;
    }
    int result = -1;
    for (const addrinfo* each = found; each != nullptr && result < 0; each = each->ai_next) {
        int fd = NewSocket(*each, why);
        if (fd < 0)
            continue;
        const bool connected = ConnectOne(fd, *each, stopFd, timeoutMs, why);
        if (connected && SetBlocking(fd, true)) {
            result = fd;
        } else {
            if (connected)
                why = ErrorText(WSAGetLastError());
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
    // Windows lets SO_REUSEADDR take a port another listener holds; the
    // exclusive option refuses that, and a restarted test may still bind at
    // once since Windows keeps no closed listener's address.
    const BOOL on = TRUE;
    setsockopt(Socket(fd), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
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
            *failure = ErrorText(resolved);
        return -1;
    }
    int result = -1;
    std::string why = "no address found";
    for (const addrinfo* each = found; each != nullptr && result < 0; each = each->ai_next) {
        int fd = NewSocket(*each, why);
        if (fd < 0)
            continue;
        // Exclusive for datagrams too: a plain UDP receiver holds its port alone.
        SetListenOptions(fd);
        if (bind(Socket(fd), each->ai_addr, int(each->ai_addrlen)) == 0 &&
            (kind == SocketKind::Datagram || listen(Socket(fd), 4) == 0))
            result = fd;
        else {
            why = ErrorText(WSAGetLastError());
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
    int size = sizeof address;
    if (getsockname(Socket(fd), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

int AcceptSocket(int listenFd)
{
    SetBlocking(listenFd, false);
    const SOCKET sock = accept(Socket(listenFd), nullptr, nullptr);
    if (sock == INVALID_SOCKET)
        SetErrnoFromSocket();
    SetBlocking(listenFd, true);
    return sock == INVALID_SOCKET ? -1 : static_cast<int>(sock);
}

bool SetKeepAlive(int fd)
{
    const BOOL on = TRUE;
    return setsockopt(Socket(fd), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool SetSendTimeout(int fd, int timeoutMs)
{
    const DWORD limit = DWORD(timeoutMs);
    return setsockopt(Socket(fd), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit) == 0;
}

std::size_t SocketSendAll(int fd, const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length) {
        const int result = send(Socket(fd), bytes + sent, int(length - sent), 0);
        if (result > 0) {
            sent += std::size_t(result);
            continue;
        }
        // The reader thread's wait may hold the socket in non-blocking mode
        // for a moment: wait for room as a blocking send would.
        if (result < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
            WSAPOLLFD room{Socket(fd), POLLWRNORM, 0};
            if (WSAPoll(&room, 1, 5000) > 0)
                continue;
        }
        break;
    }
    return sent;
}

ssize_t SocketSendSome(int fd, const void* data, std::size_t length)
{
    SetBlocking(fd, false);
    const int result = send(Socket(fd), static_cast<const char*>(data), int(length), 0);
    if (result < 0)
        SetErrnoFromSocket();
    SetBlocking(fd, true);
    return result;
}

ssize_t SocketReceive(int fd, SocketKind kind, void* data, std::size_t size)
{
    SetBlocking(fd, false);
    int result = recv(Socket(fd), static_cast<char*>(data), int(size), 0);
    if (result < 0) {
        // A datagram longer than the buffer: its full size is not told here,
        // only that it did not fit.
        if (kind == SocketKind::Datagram && WSAGetLastError() == WSAEMSGSIZE)
            result = int(size) + 1;
        else if (kind == SocketKind::Stream && WSAGetLastError() == WSAECONNRESET)
            result = 0;
        else
            SetErrnoFromSocket();
    }
    SetBlocking(fd, true);
    return result;
}

sSocketReadiness WaitSocket(int fd, bool wantWrite, int stopFd, int wakeFd, int timeoutMs)
{
    sWatch watches[3] = {
        {stopFd, false, 0, 0}, {fd, true, FD_READ | FD_CLOSE | (wantWrite ? FD_WRITE : 0), 0}, {wakeFd, false, 0, 0}};
    sSocketReadiness ready;
    if (!WaitAny(watches, 3, timeoutMs))
        return ready;
    ready.stopped = watches[0].fired != 0;
    ready.readable = (watches[1].fired & (FD_READ | FD_CLOSE)) != 0;
    ready.writable = (watches[1].fired & FD_WRITE) != 0;
    ready.woken = watches[2].fired != 0;
    return ready;
}

sServerReadiness WaitServer(int listenFd, int client, bool wantWrite, int stopFd, int wakeFd)
{
    sWatch watches[4] = {{stopFd, false, 0, 0},
                         {wakeFd, false, 0, 0},
                         {listenFd, true, FD_ACCEPT, 0},
                         {client, true, FD_READ | FD_CLOSE | (wantWrite ? FD_WRITE : 0), 0}};
    sServerReadiness ready;
    if (!WaitAny(watches, 4, -1))
        return ready;
    ready.stopped = watches[0].fired != 0;
    ready.woken = watches[1].fired != 0;
    ready.incoming = watches[2].fired != 0;
    ready.readable = (watches[3].fired & (FD_READ | FD_CLOSE)) != 0;
    ready.writable = (watches[3].fired & FD_WRITE) != 0;
    return ready;
}

WaitResult WaitReadable(int fd, int stopFd, int timeoutMs)
{
    sWatch watches[2] = {{stopFd, false, 0, 0}, {fd, true, FD_READ | FD_CLOSE | FD_ACCEPT, 0}};
    if (!WaitAny(watches, 2, timeoutMs))
        return WaitResult::Timeout;
    if (watches[0].fired != 0)
        return WaitResult::Stopped;
    return watches[1].fired != 0 ? WaitResult::Readable : WaitResult::Timeout;
}

void ShutdownSocket(int fd)
{
    if (fd >= 0)
        shutdown(Socket(fd), SD_BOTH);
}

void CloseSocket(int& fd)
{
    if (fd >= 0)
        closesocket(Socket(fd));
    fd = -1;
}

}  // namespace TolvarRT
