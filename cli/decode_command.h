// Offline decoding: capture files read as the Listener's decoders read a
// port, with the frames per type, the data-collector packets per packet type
// and the bytes no decoder claimed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace cli {

struct sDecodedType {
    std::string name;
    unsigned frameClass = 0;
    unsigned type = 0;
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};

struct sDecodeResult {
    std::uint64_t bytesRead = 0;
    std::vector<sDecodedType> frames;   // in key order
    std::vector<sDecodedType> packets;  // data-collector packets by packet type
    // Bytes every decoder reported lost; bytes a decoder still holds at the
    // end, for a frame that might have followed, do not count.
    std::uint64_t unclaimedBytes = 0;
};

struct sDecodeOptions {
    std::size_t chunkSize = 1024;
    bool ats = false;
};

// Decodes the bytes of one or more captures, one stream after the other.
sDecodeResult DecodeStreams(const std::vector<std::vector<std::uint8_t>>& streams, const sDecodeOptions& options);

std::string DecodeText(const sDecodeResult& result);
nlohmann::json DecodeJson(const sDecodeResult& result);

}  // namespace cli
