// A port on an NTRIP caster's stream: corrections come in over HTTP from a
// caster, and the rover's position goes up to it. A lost connection never
// closes the port: it reconnects with a growing pause.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/log_pipe.h"
#include "ports/network/ntrip_reply.h"
#include "ports/network/ntrip_request.h"
#include "ports/network/reconnecting_port.h"

namespace TolvarRT {

// Thread rules: as for every port (Open, Configure, StartThread, Close and
// SetGgaPosition by the owner). The port lock guards the socket and the
// connection state; the reader thread is the only one that replaces the
// socket while the port is open, the only one that sends (the position
// sentences) and the only caller of the callback.
class CNtripSerialPort : public CReconnectingPort {
public:
    static constexpr std::chrono::milliseconds kDefaultGgaInterval{10000};
    // The first pause after a loss; each failed attempt doubles it, up to 256 times.
    static constexpr std::chrono::milliseconds kDefaultRetryUnit{1000};
    static constexpr unsigned kLongestRetryFactor = 256;
    // A stream that ends sooner than this many retry units after it began
    // counts as a failed attempt, so a caster that answers and hangs up at
    // once is asked less and less often rather than every unit for ever.
    static constexpr unsigned kSteadyStreamUnits = 10;

    using CReconnectingPort::CReconnectingPort;
    ~CNtripSerialPort() override;

    // "NTRIP:[user[:password]@]host[:port]/mountpoint", port 2101 when absent.
    // Fails when the first connection does not bring a stream: the caster
    // refused the password, or answered with its sourcetable because the
    // mountpoint is missing or unknown (FailureReason lists the mountpoints).
    // Name() keeps the password hidden.
    bool Open(const char* portName) override;
    // A caster takes nothing from a rover but its position: dropped.
    void QueueWrite(OwnedPortBuffer buffer) override;
    void SendBreak(unsigned milliseconds) override;
    // Losses and reconnections are logged with the password hidden.

    // Set before Open: a GGA sentence for this position goes to the caster on
    // every connection and then every GGA interval.
    void SetGgaPosition(std::optional<sGgaPosition> position) override;

    // Seams for tests: the pauses scale with the retry unit.
    using CReconnectingPort::SetRetryUnit;
    void SetGgaInterval(std::chrono::milliseconds interval) { ggaIntervalMs.store(interval.count()); }
    // Set before Open: how much of a sourcetable is read.
    void SetTableLimits(sNtripTableLimits limits) { tableLimits = limits; }
    // The pause before the given attempt of a row of failed ones (1, 2, 4 ... 256 units).
    static std::chrono::milliseconds RetryDelay(unsigned failedAttempts, std::chrono::milliseconds unit);

    unsigned GgaSent() const { return ggaSent.load(); }
    // Why the last reconnection failed; empty while none has.
    std::string LastProblem();

private:
    sReconnectRule ReconnectRule() const override { return {kLongestRetryFactor, kSteadyStreamUnits, false}; }
    // Sends the request on fd and reads the answer up to the stream; the
    // first body bytes are kept for Connected to deliver.
    bool Handshake(int fd, int stopFd, std::string& failure) override;
    // Sends the position when it is due, then waits for the stream.
    bool Serve(int fd) override;
    void Connected(bool again) override;
    void Lost(std::chrono::milliseconds lasted, bool steady, std::chrono::milliseconds nextPause) override;
    void AttemptFailed(const std::string& failure, std::chrono::milliseconds nextPause) override;
    bool SendGga(int fd);

    CNtripReply reply;                     // the reader thread's once started, Open's before
    std::vector<std::uint8_t> firstBytes;  // body bytes read with the answer, delivered once connected
    std::vector<std::uint8_t> body;        // the reader thread's
    std::atomic<std::int64_t> ggaIntervalMs{kDefaultGgaInterval.count()};
    std::atomic<unsigned> ggaSent{0};
    bool wantsGga = false;      // the reader thread's
    Clock::time_point nextGga;  // likewise

    sNtripAddress address;                 // written by Open only, before the thread starts
    std::optional<sGgaPosition> position;  // likewise, by SetGgaPosition, under the port lock
    sNtripTableLimits tableLimits;         // likewise, by SetTableLimits
    std::string lastProblem;               // under the port lock
};

}  // namespace TolvarRT
