// The buffers waiting to leave a port, bounded in bytes: a device that takes
// less than is queued (a radio holding CTS low, a peer or port nobody reads)
// must not make the queue grow for as long as the test runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "core/log_pipe.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

// A buffer that does not fit under the bound is dropped whole, so that what
// leaves the port is always whole packets. The drops of one episode, from the
// first drop until the queue has drained, are logged once when the episode
// begins and once, with their count, when it ends.
//
// Thread rules: none of its own; the port guards it with its queue lock.
// Logging under that lock is safe: no log sink writes to a port.
class CPortWriteQueue {
public:
    // How much of the line's rate the queue holds.
    static constexpr unsigned kLineSeconds = 4;
    // The bound never falls below this, so a slow line still takes a few
    // whole packets.
    static constexpr std::size_t kMinimumLimit = 4096;

    explicit CPortWriteQueue(std::size_t limitBytes = kMinimumLimit) : limit(limitBytes) {}

    // kLineSeconds of the line's rate: start bit, data bits, parity and stop
    // bits per byte.
    static std::size_t LimitForLine(const PortSettings& line);
    void SetLimit(std::size_t bytes) { limit = bytes; }
    std::size_t Limit() const { return limit; }
    void SetLogPipe(CLogPipe* pipe) { log.Attach(pipe); }
    // The port's name goes before every log text.
    void SetName(const std::string& portName) { name = portName; }

    // Queues buffer at the back, or with first in front of every buffer but a
    // head that is being written (headBusy). A buffer goes in when nothing
    // waits behind such a head or when the bytes waiting stay within the
    // limit; otherwise it is dropped and the result is false.
    bool Push(OwnedPortBuffer buffer, bool first, bool headBusy);
    bool Empty() const { return buffers.empty(); }
    PortBuffer& Head() { return *buffers.front(); }
    // Removes the head; the queue drained, a drop episode ends.
    void PopHead();
    // Drops every buffer unwritten (not counted as drops); ends an episode.
    void Clear();

    std::size_t QueuedBytes() const { return queuedBytes; }
    std::uint64_t DroppedBuffers() const { return droppedBuffers; }

private:
    void EndEpisode();

    std::deque<OwnedPortBuffer> buffers;
    std::size_t queuedBytes = 0;
    std::size_t limit;
    std::uint64_t droppedBuffers = 0;  // since construction
    // The episode in progress, when episodeBuffers is not 0.
    std::uint64_t episodeBuffers = 0;
    std::uint64_t episodeBytes = 0;
    CLogNode log;
    std::string name;
};

}  // namespace TolvarRT
