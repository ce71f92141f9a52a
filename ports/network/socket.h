// Thin socket operations behind the TCP and UDP ports, and the "TCP:host:port"
// names that select them. Nothing here keeps state; a socket is a plain fd
// (on Windows a SOCKET, whose values fit in an int, and the stop and wake
// "fds" are CEventFd handles).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace TolvarRT {

constexpr std::uint16_t kDefaultNetPort = 4044;

enum class SocketKind { Stream, Datagram };

struct sNetAddress {
    std::string host;
    std::uint16_t port = kDefaultNetPort;
};

// True when name starts with prefix ("TCP:", "UDP:"), ignoring case.
bool HasNetPrefix(std::string_view name, std::string_view prefix);

// Reads "<prefix>host[:port]". An IPv6 literal may be written in brackets,
// "TCP:[::1]:5000"; a bare one ("TCP:::1") takes the default port, since a
// port number cannot be told apart from it. Fails on a wrong prefix, an empty
// host, or a port that is not a decimal number in 1..65535; then failure, when
// given, says which of these it was.
bool ParseNetPortName(std::string_view name, std::string_view prefix, sNetAddress& address,
                      std::string* failure = nullptr);

// Reads "<prefix>port" or "<prefix>addr:port" ([addr] for IPv6), the name of a
// port that waits for its peers; no address (also "<prefix>:port", as the
// "scheme://:port" paths become) is 127.0.0.1, and port 0 asks for any free
// one. False with a reason for anything else.
bool ParseListenPortName(std::string_view name, std::string_view prefix, sNetAddress& address, std::string& failure);

// Resolves host (names, dotted IPv4 and IPv6 literals) and connects a new
// socket to the first address that takes it; for a datagram socket this only
// sets the default peer. A stream connect gives up after timeoutMs, or as
// soon as stopFd (an eventfd, or -1) becomes readable. The socket returned is
// in blocking mode; -1 on failure, and then failure, when given, holds why
// (the resolver's or the system's words; for several addresses, the last
// one's).
int ConnectSocket(const sNetAddress& address, SocketKind kind, int stopFd, int timeoutMs,
                  std::string* failure = nullptr);

// What every listening socket is given before it binds: the address may be
// taken again at once after a run, and never shared with a listener running.
void SetListenOptions(int fd);
// A listening stream socket on the address (a numeric host; port 0: any free
// one), non-blocking; -1 on failure, and then failure, when given, says why.
int ListenSocket(const std::string& host, std::uint16_t port, std::string* failure = nullptr);
// A datagram socket bound to the address (a numeric host; port 0: any free
// one), non-blocking, never sharing its port; -1 on failure, and then
// failure, when given, says why.
int BindDatagramSocket(const std::string& host, std::uint16_t port, std::string* failure = nullptr);
// The local port a socket is bound to; 0 when it cannot be told.
std::uint16_t SocketPort(int fd);
// One connection waiting on a listening socket, non-blocking; -1 with errno
// (EAGAIN: none is waiting).
int AcceptSocket(int listenFd);

bool SetKeepAlive(int fd);
// A blocking send gives up after timeoutMs and reports what it sent so far.
bool SetSendTimeout(int fd, int timeoutMs);

// Sends all bytes unless the socket fails or times out; returns the count
// sent (less than length on failure). Never raises SIGPIPE.
std::size_t SocketSendAll(int fd, const void* data, std::size_t length);
// Sends what the socket takes now, without blocking: the count sent, or -1
// with errno (EAGAIN: no room). Never raises SIGPIPE.
ssize_t SocketSendSome(int fd, const void* data, std::size_t length);
// One chunk of a stream or one datagram, without blocking. Returns the received length,
// 0 on an orderly stream shutdown, -1 with errno on failure (EAGAIN: nothing
// there). For a datagram, the returned length is the datagram's full size even
// when it was longer than size, so callers can see truncation.
ssize_t SocketReceive(int fd, SocketKind kind, void* data, std::size_t size);

enum class WaitResult { Readable, Stopped, Timeout };
// Waits until fd (or -1 for none) has something to read or an error pending,
// or stopFd is signalled, for at most timeoutMs (negative: no limit). The
// stop wins when both are ready.
WaitResult WaitReadable(int fd, int stopFd, int timeoutMs);

struct sSocketReadiness {
    bool stopped = false;   // stopFd is signalled
    bool readable = false;  // fd has bytes, an end or an error
    bool writable = false;  // fd takes bytes (asked for only with wantWrite)
    bool woken = false;     // wakeFd is signalled
};
// Waits for any of them, for at most timeoutMs (negative: no limit).
sSocketReadiness WaitSocket(int fd, bool wantWrite, int stopFd, int wakeFd, int timeoutMs);

struct sServerReadiness {
    bool stopped = false;   // stopFd is signalled
    bool woken = false;     // wakeFd is signalled
    bool incoming = false;  // listenFd has a connection waiting
    bool readable = false;  // client has bytes, an end or an error
    bool writable = false;  // client takes bytes (asked for only with wantWrite)
};
// A server's one wait: its stop and wake events, its listening socket and its
// client (-1 for none), with no time limit.
sServerReadiness WaitServer(int listenFd, int client, bool wantWrite, int stopFd, int wakeFd);

// Ends both directions at once: a thread waiting to read wakes with an EOF.
void ShutdownSocket(int fd);
// Closes fd if open and sets it to -1.
void CloseSocket(int& fd);

}  // namespace TolvarRT
