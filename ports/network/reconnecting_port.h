// What the TCP client and NTRIP ports share: a connection that is made again
// whenever it is lost, with a pause that grows while attempts fail. A lost
// connection never closes the port. Each port adds only its handshake and
// what it does on a live connection.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/log_pipe.h"
#include "ports/network/network_serial_port.h"
#include "ports/network/socket.h"

namespace TolvarRT {

// How a port paces its attempts, in retry units.
struct sReconnectRule {
    // The pauses double from one unit up to this many.
    unsigned longestFactor = 1;
    // A connection that lasted this many units was steady, and its loss begins
    // a new row of attempts; one that ends sooner counts as a failed attempt,
    // so a peer that accepts and hangs up at once is asked less and less often.
    unsigned steadyUnits = 1;
    // The first attempt after a steady connection is lost goes without a pause.
    bool firstAttemptAtOnce = false;
};

// The pauses of one row of attempts; the reader thread's own.
class CReconnectBackoff {
public:
    explicit CReconnectBackoff(sReconnectRule rule) : rule(rule) {}

    // A connection that lasted this long was lost; true when it was steady.
    bool Lost(std::chrono::milliseconds lasted, std::chrono::milliseconds unit);
    std::chrono::milliseconds NextPause(std::chrono::milliseconds unit) const;
    // The next attempt is made now.
    void Attempting();
    // One unit doubled for each pause waited, up to the longest factor.
    static std::chrono::milliseconds Pause(unsigned waited, std::chrono::milliseconds unit, unsigned longestFactor);

private:
    sReconnectRule rule;
    unsigned waited = 0;  // pauses waited since the last steady connection
    bool atOnce = false;
};

// Thread rules: as for every port. The port lock guards the socket and the
// connection state (and what a derived port keeps beside them); the reader
// thread is the only one that replaces the socket while the port is open and
// the only caller of the callback. A derived port's destructor must Close.
class CReconnectingPort : public CNetworkSerialPort {
public:
    static constexpr int kConnectTimeoutMs = 5000;

    using CNetworkSerialPort::CNetworkSerialPort;

    // True from a successful Open until Close, also while reconnecting.
    bool IsOpen() override;
    bool Close() override;
    // Each loss of the connection and each return is logged there once.
    void SetLogPipe(CLogPipe* pipe) override { log.Attach(pipe); }

    bool IsConnected() { return state.load() == State::Connected; }
    // Connection attempts of the reader thread since Open.
    unsigned ReconnectAttempts() const { return reconnectAttempts.load(); }

protected:
    using Clock = std::chrono::steady_clock;

    // For Open: connects to peer and runs the handshake; the port is open
    // under shownName, or false with the reason recorded.
    bool OpenConnection(const sNetAddress& peer, std::string shownName);
    void SetRetryUnit(std::chrono::milliseconds unit) { retryUnitMs.store(unit.count()); }
    std::chrono::milliseconds RetryUnit() const { return std::chrono::milliseconds(retryUnitMs.load()); }
    // A poll() time-out for the deadline: never negative, at most 1000 s.
    static int MillisecondsUntil(Clock::time_point deadline);

    // The port's own part. All but Handshake run on the reader thread.
    virtual sReconnectRule ReconnectRule() const = 0;
    // On each fresh connection before data flows; stopFd is -1 during Open.
    // False with failure set when the peer gives no stream.
    virtual bool Handshake(int fd, int stopFd, std::string& failure) = 0;
    // One wait on the live connection and what it brought; false when the
    // connection is lost. Returns at once when the stop is requested.
    virtual bool Serve(int fd) = 0;
    // The connection Open made is live on the reader thread, or (again) a
    // lost one was made anew.
    virtual void Connected(bool /*again*/) {}
    // The live connection was lost after lasting that long.
    virtual void Lost(std::chrono::milliseconds lasted, bool steady, std::chrono::milliseconds nextPause) = 0;
    virtual void AttemptFailed(const std::string& /*failure*/, std::chrono::milliseconds /*nextPause*/) {}
    // Close has stopped the reader thread; the socket is still there.
    virtual void Stopped() {}

    CLogNode log;
    std::mutex portLock;

private:
    enum class State { Closed, Reconnecting, Connected, Closing };

    void ThreadMain() final;
    // With the port lock held: fd failed; the reader thread takes it from
    // here. False when the connection was lost already or the port is closing.
    bool MarkLost(int fd);

    int sock = -1;
    // Written under the port lock; read without it by IsOpen and IsConnected,
    // which must not wait for a send in progress.
    std::atomic<State> state{State::Closed};
    sNetAddress peer;  // written by Open only, before the thread starts
    std::atomic<unsigned> reconnectAttempts{0};
    std::atomic<std::int64_t> retryUnitMs{1000};
};

}  // namespace TolvarRT
