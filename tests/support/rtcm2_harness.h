// Runs the RTCM v2 decoder over a stream cut into given chunks and keeps what
// it published and what it reported lost, for the suites of this folder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "chunked_feed.h"
#include "decoders/rtcm_input_handler.h"
#include "fake_byte_pipe.h"

namespace TolvarRT::testing {

struct RecordedFrame {
    unsigned type = 0;
    std::uint16_t length = 0;
    std::vector<std::uint8_t> words;  // 3 x (length + 2) bytes
    TimeStamp stamp = 0;

    bool SameContent(const RecordedFrame& other) const
    {
        return type == other.type && length == other.length && words == other.words;
    }
};

class FrameRecorder : public TSubscriber<IIncommingRTCMPipe> {
public:
    ~FrameRecorder() override { Unsubscribe(); }
    void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& timeStamp) override
    {
        frames.push_back({type, length, std::vector<std::uint8_t>(data, data + 3 * (length + 2)), timeStamp});
    }
    std::vector<RecordedFrame> frames;
};

// A decoder on a fake byte pipe, with a recorder on its frames.
struct WiredDecoder {
    FakeBytePipe pipe;
    CRTCMInputHandler decoder;
    FrameRecorder recorder;

    WiredDecoder()
    {
        decoder.Subscribe(&pipe);
        recorder.Subscribe(&decoder);
    }
};

// Byte ranges [first, end) in stream order.
using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Joins ranges that touch; they must come sorted.
inline Ranges Merge(const Ranges& ranges)
{
    Ranges merged;
    for (const auto& range : ranges) {
        if (range.first == range.second)
            continue;
        if (!merged.empty() && merged.back().second == range.first)
            merged.back().second = range.second;
        else
            merged.push_back(range);
    }
    return merged;
}

// What lies in [0, total) outside the sorted ranges taken (frames whose words
// do not start on a byte may share a byte).
inline Ranges Complement(const Ranges& taken, std::uint64_t total)
{
    Ranges gaps;
    std::uint64_t at = 0;
    for (const auto& range : taken) {
        if (range.first > at)
            gaps.emplace_back(at, range.first);
        at = std::max(at, range.second);
    }
    if (total > at)
        gaps.emplace_back(at, total);
    return Merge(gaps);
}

struct Rtcm2Run {
    std::vector<RecordedFrame> frames;
    Ranges lost;              // merged
    bool lostInOrder = true;  // no report overlapped or went back before an earlier one
    std::vector<std::size_t> chunks;

    // The time stamp the fake pipe gave the chunk holding byte.
    TimeStamp StampOfByte(std::size_t byte) const
    {
        std::size_t end = 0;
        for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk) {
            end += chunks[chunk];
            if (byte < end)
                return TimeStamp(1000 + chunk);
        }
        return -1;
    }
};

// Chunk sizes are taken in order; bytes left over go in one last chunk.
inline Rtcm2Run DecodeRtcm2(const std::vector<std::uint8_t>& stream, std::vector<std::size_t> chunks,
                            bool enabled = true)
{
    WiredDecoder wired;
    FakeBytePipe& pipe = wired.pipe;
    wired.decoder.SetEnabled(enabled);
    std::size_t offset = 0;
    Rtcm2Run run;
    for (std::size_t size : chunks) {
        size = std::min(size, stream.size() - offset);
        if (size == 0)
            continue;
        pipe.Feed(stream.data() + offset, size);
        run.chunks.push_back(size);
        offset += size;
    }
    if (offset < stream.size()) {
        pipe.Feed(stream.data() + offset, stream.size() - offset);
        run.chunks.push_back(stream.size() - offset);
    }
    run.frames = wired.recorder.frames;
    Ranges reports;
    std::uint64_t end = 0;
    for (const auto& [first, count] : pipe.lost) {
        run.lostInOrder = run.lostInOrder && count > 0 && first >= end;
        reports.emplace_back(first, std::uint64_t(first) + count);
        end = std::uint64_t(first) + count;
    }
    run.lost = Merge(reports);
    return run;
}

inline std::vector<std::size_t> FixedChunks(std::size_t total, std::size_t size)
{
    return std::vector<std::size_t>((total + size - 1) / size, size);
}

// The chunkings every suite runs: whole, byte by byte, and random pieces.
inline std::vector<std::vector<std::size_t>> UsualChunkings(std::size_t total)
{
    return {{total},
            FixedChunks(total, 1),
            RandomPieces(total, 1, 9),
            RandomPieces(total, 2, 64),
            RandomPieces(total, 3, 300)};
}

}  // namespace TolvarRT::testing
