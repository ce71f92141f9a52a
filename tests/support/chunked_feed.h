// Feeding a decoder one stream in different chunkings, and comparing what it
// reported lost whatever the chunk boundaries were.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "case_name.h"
#include "fake_byte_pipe.h"

namespace TolvarRT::testing {

using LostRuns = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The pieces of a stream, one after the other.
inline std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> pieces)
{
    std::vector<std::uint8_t> joined;
    for (const auto& piece : pieces)
        joined.insert(joined.end(), piece.begin(), piece.end());
    return joined;
}

// Chunk sizes that add up to total: random, from 1 to maxPiece.
inline std::vector<std::size_t> RandomPieces(std::size_t total, unsigned seed, std::size_t maxPiece = 40)
{
    std::mt19937 random(seed);
    std::vector<std::size_t> pieces;
    for (std::size_t fed = 0; fed < total;) {
        const std::size_t piece = std::min<std::size_t>(total - fed, 1 + random() % maxPiece);
        pieces.push_back(piece);
        fed += piece;
    }
    return pieces;
}

inline void FeedPieces(FakeBytePipe& pipe, const std::vector<std::uint8_t>& bytes,
                       const std::vector<std::size_t>& pieces)
{
    std::size_t offset = 0;
    for (const std::size_t piece : pieces) {
        pipe.Feed(bytes.data() + offset, piece);
        offset += piece;
    }
}

// The lost reports with touching runs joined, so that reports cut at chunk
// boundaries compare equal to one whole report. Every report must follow the
// one before it without overlap.
inline LostRuns MergedLost(const FakeBytePipe& pipe)
{
    LostRuns merged;
    for (const auto& [first, count] : pipe.lost) {
        EXPECT_GT(count, 0u) << "empty lost report at " << first;
        if (!merged.empty()) {
            const std::uint32_t end = merged.back().first + merged.back().second;
            EXPECT_GE(first, end) << "lost reports overlap or go backwards at " << first;
            if (first == end) {
                merged.back().second += count;
                continue;
            }
        }
        merged.emplace_back(first, count);
    }
    return merged;
}

// Chunk sizes of a port reader: a byte at a time, a few bytes, and whole
// buffers.
inline constexpr std::size_t kPortChunkSizes[] = {1, 7, 64, 1024};

// Stray bytes that look like the start of a long frame, whole frames behind
// them, then silence.
struct StrayBeforeFrames {
    const char* what;
    std::vector<std::uint8_t> before;
    std::vector<std::vector<std::uint8_t>> frames;

    std::vector<std::uint8_t> Stream() const
    {
        std::vector<std::uint8_t> stream = before;
        for (const auto& frame : frames)
            stream.insert(stream.end(), frame.begin(), frame.end());
        return stream;
    }
    // The stamp FakeBytePipe gives the chunk that holds frame i's last byte.
    TimeStamp StampOfFrame(std::size_t i, std::size_t chunkSize) const
    {
        std::size_t end = before.size();
        for (std::size_t k = 0; k <= i; ++k)
            end += frames[k].size();
        return FakeBytePipe::kFirstTimeStamp + TimeStamp((end - 1) / chunkSize);
    }
    // All that is lost: the stray bytes, in one run.
    LostRuns Lost() const { return {{0, std::uint32_t(before.size())}}; }
};

}  // namespace TolvarRT::testing
