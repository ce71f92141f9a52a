// Plays a recorded byte stream into an endpoint as a port would: chunk by
// chunk, each stamped and numbered by the byte pipe. For offline decoding and
// for the whole-chain benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "ports/byte_pipe.h"

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

// Publishes bytes to the endpoint's subscribers in chunks of chunkSize bytes
// (0: one chunk), on the calling thread. Returns the number of chunks.
std::size_t ReplayCapture(CBytePipeSubscription& endpoint, const std::uint8_t* data, std::size_t length,
                          std::size_t chunkSize);

}  // namespace TolvarRT
