// The payloads of every RTCM 3 frame with a good CRC in a stream, in stream
// order, found by the decoder's own frame scanner: for the content reader's
// tests and benchmark, which start from frames, not bytes.
// Header-only, so that programs built without the test library can use it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decoders/rtcm3_parser.h"

namespace TolvarRT::testing {

struct sRtcm3Payload {
    unsigned type = 0;
    std::vector<std::uint8_t> bytes;
};

inline std::vector<sRtcm3Payload> Rtcm3Payloads(const std::vector<std::uint8_t>& stream)
{
    CRTCM3Parser parser;
    std::vector<sRtcm3Payload> payloads;
    std::size_t at = 0;
    for (;;) {
        std::uint32_t consumed = 0;
        const std::uint8_t* payload = nullptr;
        std::uint16_t length = 0;
        unsigned type = 0;
        const auto offered = std::uint32_t(std::min<std::size_t>(stream.size() - at, parser.FreeSpace()));
        const bool found = parser.Parse(stream.data() + at, offered, consumed, payload, length, type);
        at += consumed;
        if (found)
            payloads.push_back({type, std::vector<std::uint8_t>(payload, payload + length)});
        else if (consumed == 0 && at == stream.size())
            return payloads;
    }
}

}  // namespace TolvarRT::testing
