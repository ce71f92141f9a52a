// A port that replays a recorded side of a test, or any capture file, so that
// a field test can be analysed again: "FILE:path[::T][::xSPEED][::+SECONDS]",
// the options as RTKLIB's file streams take them.
//
// With a time-tag file beside the data file (a recording: our own
// "NAME.tags", or RTKLIB's "PATH.tag"), every chunk comes
// as it was received, at its recorded time after the replay starts (SPEED
// times sooner; ::x0 as fast as possible), and carries its recorded time on
// this run's clock: the sides of one recording replayed together start
// together and keep their recorded order, so latencies come out as they were
// measured live, whatever the speed. Without one (a plain capture) the bytes
// come in chunks as fast as possible, or at SPEED times the line rate of the
// port's baud setting. ::T insists on the time tags: without a time-tag
// file the port does not open. ::+SECONDS starts the replay that far into the
// recording; the chunks recorded before are left out, with a log line.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/log_pipe.h"
#include "ports/network/network_serial_port.h"
#include "ports/recording/replay_session.h"
#include "ports/recording/time_tag_file.h"

namespace TolvarRT {

struct sReplayName {
    std::string path;
    double speed = 1.0;  // 0: as fast as possible
    bool speedGiven = false;
    bool timeTags = false;    // ::T
    double startSeconds = 0;  // ::+
};

// Reads "FILE:path[::T][::xSPEED][::+SECONDS]" (prefix in any case, options
// in any order); false with a reason.
bool ParseReplayName(const std::string& portName, sReplayName& parsed, std::string& error);

// Thread rules: as for every port. The reader thread is the only one that
// delivers; writes are dropped and counted (a recording takes no answers).
class CFileReplayPort : public CNetworkSerialPort {
public:
    // Bytes of a plain capture handed over at a time.
    static constexpr std::size_t kChunkSize = 1024;

    using CNetworkSerialPort::CNetworkSerialPort;
    ~CFileReplayPort() override;

    // Reads the whole data file and its time tags. Fails when either cannot
    // be read; a recording cut short is replayed up to its last whole chunk,
    // with a log line saying what was left out.
    bool Open(const char* portName) override;
    bool IsOpen() override { return open.load(); }
    bool Close() override;
    void QueueWrite(OwnedPortBuffer buffer) override;
    void SendBreak(unsigned /*milliseconds*/) override {}
    void SetLogPipe(CLogPipe* pipe) override { log.Attach(pipe); }
    // Of a recording: a stamp's recorded UTC, the origin's UTC from the time
    // tags plus the stamp's time since the origin on this run's clock (at any
    // speed the stamps keep the recorded spacing). Empty for a plain capture,
    // whose chunks arrive now.
    ArrivalClock ArrivalUtcClock() const override;

    bool IsTimed() const { return timed; }
    // True once every byte has been delivered.
    bool Finished() const { return finished.load(); }
    std::uint64_t DroppedWrites() const { return droppedWrites.load(); }

private:
    void ThreadMain() override;
    void PlayTimed();
    void PlayCapture();
    // Drops the chunks recorded before nanoseconds and counts the rest's
    // times from there; returns how many were dropped.
    std::size_t SkipBefore(std::int64_t nanoseconds);
    bool Stopping() const { return stopping.load(); }

    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;  // of a recording
    sTimeTags tags;
    bool timed = false;
    double speed = 0.0;
    double originUnixSeconds = 0.0;  // of a recording: UTC at the time its first kept chunk counts from
    std::shared_ptr<CReplaySession> session;
    int side = -1;
    std::atomic<bool> open{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<std::uint64_t> droppedWrites{0};
    CLogNode log;
};

}  // namespace TolvarRT
