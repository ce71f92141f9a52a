// The bridge between one port and everything that decodes its traffic: owns
// the port, stamps and numbers every chunk it reads, and hands it to the
// decoders; decoders send bytes back out through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/byte_pipe_subscriber.h"
#include "core/frame_cover.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "ports/lost_byte_tally.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

// What an owner asks OpenPort for.
struct PortRequest {
    // "TCP:host[:port]", "UDP:host[:port]", "TCPSVR:[addr:]port",
    // "FILE:path[::xSPEED]", "NTRIP:[user[:password]@]host[:port]/mount" (prefix
    // in any case), a stream path ("tcpcli://host:port", see stream_path.h),
    // otherwise a serial device: a path, a name under /dev, or "COMn". A serial
    // stream path's settings win over the fields below.
    std::string name;
    std::uint32_t baudRate = 38400;
    std::uint8_t parity = 0;  // 0 none, 1 odd, 2 even
    // How many times to ask the device for its identity after opening (0: never).
    unsigned identityTries = 0;
    std::uint8_t flowControl = 0;
};

// Thread rules: OpenPort, ClosePort and destruction belong to the owner's
// thread. Received chunks are published on the port's reader thread with the
// shared lock held for the whole delivery; Send, IsPortOpen and OpenFailure
// take the same lock, so they may be called from any thread, decoders
// included (the lock is re-entrant). ClosePort and SendBreak do not take it: closing waits for the
// reader thread, which may be waiting for the lock.
class CBytePipeSubscription : public TBiSubscription<ILostBytePipe, IIncomingBytePipe> {
public:
    explicit CBytePipeSubscription(CLogPipe* logPipe = nullptr);
    ~CBytePipeSubscription() override;

    bool OpenPort(const PortRequest& request);
    // Why the last OpenPort failed, in the port's words ("Permission denied",
    // "Connection refused"); empty after a successful one.
    std::string OpenFailure() const;
    bool ClosePort();
    bool IsPortOpen();
    bool SendBreak(unsigned milliseconds);
    // The rover's position, reported to an NTRIP caster (which may pick the
    // corrections by it) by the ports opened from now on; none by default.
    void SetGgaPosition(std::optional<sGgaPosition> position);

    // Rejected bytes: those that every decoder on the pipe reported with
    // MarkLost, so that no decoder could use them (a corrupt frame, noise).
    // Bytes of a protocol another decoder on the pipe takes are not rejected,
    // so a clean line that mixes protocols rejects nothing; nor are line
    // ends (CR, LF), which the NMEA decoder leaves after a sentence's first
    // one and which are no sign of damage. A lower bound: a decoder may hold
    // damaged bytes as the start of a frame of its own for a while (RTCM v3
    // up to its declared length), or take them as used (the NMEA decoder
    // takes up to 255 bytes after a "$" as a sentence, good or not), so they
    // count late or not at all. Each report is
    // told to the sink (null: nobody) with the time stamp of the chunk being
    // delivered, on the reader thread under the lock.
    using RejectedBytesSink = std::function<void(std::uint64_t bytes, TimeStamp timeStamp)>;
    void SetRejectedBytesSink(RejectedBytesSink sink);
    std::uint64_t RejectedBytes() const;
    // Every byte published since the pipe was made, over all its ports.
    std::uint64_t ReceivedBytes() const;

    // ILostBytePipe
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override;
    bool Send(const std::uint8_t* data, std::uint32_t length) override;
    // Read and written by the decoders while a chunk is delivered.
    CFrameCover* FrameCover() override { return &frameCover; }

    // Stamps one chunk read from the port and delivers it to every decoder:
    // first those whose frames carry a strong check, so that the others can
    // tell a frame of theirs made of bytes inside one of those (core/frame_cover.h).
    void PublishBytes(const std::uint8_t* data, std::uint32_t length);
    // The same with the time stamp the port gives, for a replayed recording.
    void PublishStampedBytes(const std::uint8_t* data, std::uint32_t length, TimeStamp timeStamp);

    // Also hands every chunk that Send passes to the port to tap, stamped when
    // it was sent, for a recording of a side whose traffic the tool makes
    // itself; null ends it. The tap runs under the lock.
    void SetSentBytesTap(IIncomingBytePipe* tap);

    // The open port's ArrivalUtcClock (empty when there is none): how its
    // stamps become UTC, for the statistics of this pipe's chunks.
    CSerialPortInterface::ArrivalClock ArrivalUtcClock();

    // The settings of the open port (all zero when there is none).
    PortSettings CurrentSettings();
    // Applies new settings to the open port; false when there is none or the
    // device refused them.
    bool Reconfigure(const PortSettings& settings);

    CLogNode log;

protected:
    // Creates the port object for a name; tests replace it with a fake.
    virtual std::unique_ptr<CSerialPortInterface> CreatePort(const std::string& portName);
    // The identity hooks of a protocol endpoint built on this pipe: forget the
    // identity of the previous device, and ask the new one (true when it
    // answered within its wait).
    virtual void ForgetIdentity() {}
    virtual bool RequestIdentityAndWait() { return false; }

private:
    // Records why OpenPort fails; returns false.
    bool Failed(const std::string& reason);
    static void OnPortBytes(void* owner, const std::uint8_t* data, std::uint32_t length);
    static void OnStampedPortBytes(void* owner, const std::uint8_t* data, std::uint32_t length, TimeStamp timeStamp);

    std::unique_ptr<CSerialPortInterface> port;  // under the shared lock
    std::string openFailure;                     // under the shared lock
    std::optional<sGgaPosition> ggaPosition;     // under the shared lock
    std::uint32_t runningIndex = 0;              // the index the next received byte gets
    IIncomingBytePipe* sentTap = nullptr;        // under the shared lock
    std::uint32_t sentIndex = 0;                 // the index the next sent byte gets, under the lock
    CLostByteTally lostBytes;                    // under the shared lock
    TimeStamp deliveryTime = 0;                  // of the chunk being delivered
    std::uint64_t rejectedBytes = 0;
    std::uint64_t receivedBytes = 0;
    RejectedBytesSink rejectedSink;
    CFrameCover frameCover;  // under the shared lock
};

}  // namespace TolvarRT
