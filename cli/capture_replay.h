// Plays a recorded byte stream into an endpoint as a port would: chunk by
// chunk, each stamped and numbered by the byte pipe. For offline decoding and
// for the whole-chain benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "ports/byte_pipe.h"
#include "ports/recording/recorded_side.h"

namespace TolvarRT {

// Reads a whole capture file; false (and an error text) when it cannot.
bool ReadCaptureFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// One stream read for decoding: its bytes and, for a recorded side, the
// chunks in which they were received (empty for a plain capture).
struct sCaptureStream {
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> recordedChunks;
    std::string leftOut;  // of a recording cut short: what was not read
};

// Reads a plain capture file, a recorded side (its time-tag file beside it
// gives the chunks), or a recording folder (each side in it, in name order,
// as streams of their own). False with an error when one cannot be read. A
// recording cut short is read up to its last whole chunk; what was left out
// goes to notes as a "tolvar: " line.
bool ReadCaptureStreams(const std::string& path, std::vector<sCaptureStream>& streams, std::string& error,
                        std::ostream& notes = std::cerr);

// A capture file or recorded side to decode, judged before any of its data
// is read: how much of it is used.
struct sJudgedCapture {
    std::string path;
    sRecordedExtent extent;
};

// As ReadCaptureStreams, but reads no data: each file is judged (a recorded
// side by its time tags), and its note, if any, goes to notes.
bool JudgeCaptures(const std::string& path, std::vector<sJudgedCapture>& captures, std::string& error,
                   std::ostream& notes = std::cerr);

// Reads a judged capture a block at a time and hands it on chunk by chunk: a
// recorded side in the chunks it was received in (one longer than a port
// delivers comes in pieces, startsChunk false after the first), a plain
// capture in chunks of chunkSize. False with an error when it cannot be read.
// The files are read readBlock bytes at a time.
using ChunkSink = std::function<void(const std::uint8_t* data, std::size_t length, bool startsChunk)>;
bool PlayCapture(const sJudgedCapture& capture, std::size_t chunkSize, const ChunkSink& sink, std::string& error,
                 std::size_t readBlock = CFileBlocks::kBlock);

// Publishes bytes to the endpoint's subscribers in chunks of chunkSize bytes
// (0: one chunk), on the calling thread. Returns the number of chunks.
std::size_t ReplayCapture(CBytePipeSubscription& endpoint, const std::uint8_t* data, std::size_t length,
                          std::size_t chunkSize);

}  // namespace TolvarRT
