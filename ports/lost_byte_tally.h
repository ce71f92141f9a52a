// Which bytes of a stream no decoder could use: each decoder reports the
// runs of bytes it gave up on, in stream order; a byte every decoder of the
// stream reported is rejected. Counted by runs, not byte by byte: on a stream
// most decoders do not claim (CMR packets, which the RTCM decoders and the
// NMEA decoder all report) the reports cover nearly every byte.
#pragma once

#include <cstdint>
#include <vector>

namespace TolvarRT {

class CLostByteTally {
public:
    // How far back a report may reach and still count: beyond the longest
    // span a decoder reports late (the RTCM v2 decoder holds up to 64 KiB)
    // plus the largest chunk a port delivers (64 KiB).
    static constexpr std::uint32_t kWindow = 1u << 17;

    // A chunk of the stream, with its running index, and how many decoders
    // report bytes they cannot use while it is delivered.
    void BeginChunk(std::uint32_t firstIndex, const std::uint8_t* data, std::uint32_t length, unsigned reporters);
    // One decoder's report; returns how many bytes became rejected by it.
    // Line ends (CR, LF) are never rejected: the NMEA decoder leaves the LF of
    // a sentence's CR LF, and a line end is no sign of damage.
    std::uint32_t MarkLost(std::uint32_t firstIndex, std::uint32_t count);

private:
    struct sRun {
        std::uint64_t start;
        std::uint64_t end;
        unsigned reports;
    };
    std::uint32_t LineEnds(std::uint64_t start, std::uint64_t end) const;
    std::vector<sRun>::iterator FirstRunEndingAfter(std::uint64_t at);

    std::uint64_t nextIndex = 0;  // of the byte after the newest chunk
    std::uint32_t nextIndex32 = 0;
    unsigned reporters = 0;
    std::vector<std::uint8_t> recentBytes;  // the last kWindow bytes, by index modulo kWindow
    std::vector<sRun> runs;                 // reported runs, ascending, apart, each counted at least once; from head on
    std::size_t head = 0;                   // runs before it left the window
    std::vector<sRun> pieces;               // room for one report's new runs
};

}  // namespace TolvarRT
