// Streams of every kind of frame as a rover's radio delivers them, written
// with where each frame lies, and the decoders of one port that read them:
// each on a byte pipe of its own, all fed the same chunks with the same
// stamps, with every frame they publish placed in the stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "decoders/ats_input_handler.h"
#include "decoders/data_collector_parser.h"
#include "decoders/dc_cmr_handler.h"
#include "decoders/nmea_input_handler.h"
#include "decoders/rtcm3_input_handler.h"
#include "decoders/rtcm_input_handler.h"
#include "fake_byte_pipe.h"
#include "packet_bytes.h"
#include "rtcm2_writer.h"
#include "rtcm3_frame_builder.h"
#include "stats/frame_lister.h"

namespace TolvarRT::testing {

enum eDecoder { kPackets, kRtcm2, kRtcm3, kNmea, kAts, kDecoders };
inline const char* const kDecoderNames[kDecoders] = {"packets", "RTCM v2", "RTCM v3", "NMEA", "ATS"};

// Where a frame was written: [first, end).
struct sPlaced {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

struct FieldStream {
    std::vector<std::uint8_t> bytes;
    std::vector<sPlaced> frames[kDecoders];  // where each frame written lies

    // unused: trailing bytes of the frame that are not its own (a line end).
    void Append(eDecoder decoder, const std::vector<std::uint8_t>& frame, std::size_t unused = 0)
    {
        frames[decoder].push_back({bytes.size(), bytes.size() + frame.size() - unused});
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
};

inline std::vector<std::uint8_t> SentenceBytes(const std::string& body)
{
    unsigned sum = 0;
    for (const char c : body)
        sum ^= std::uint8_t(c);
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", sum);
    const std::string text = "$" + body + checksum;
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// One frame of the kind with random contents. Only ATS frames hold the ATS
// start byte: ATS framing has no check, so any 0x80 opens a frame. unused
// gets the trailing bytes that are not the frame's own.
inline std::vector<std::uint8_t> RandomFrame(eDecoder kind, std::mt19937& random, unsigned index, std::size_t& unused)
{
    using Bytes = std::vector<std::uint8_t>;
    unused = 0;
    const auto randomBytes = [&](std::size_t count) {
        Bytes bytes(count);
        for (auto& byte : bytes)
            byte = std::uint8_t(random());
        return bytes;
    };
    const auto withoutAtsStart = [](const auto& make) {
        Bytes frame;
        do
            frame = make();
        while (std::find(frame.begin(), frame.end(), CATSInputHandler::kFrameStart) != frame.end());
        return frame;
    };
    switch (kind) {
    case kPackets:
        return withoutAtsStart([&] {
            Bytes data = randomBytes(2 + random() % 60);
            data[1] = 0x29;
            return Packet(kPacketCMR, data);
        });
    case kRtcm2: {
        Rtcm2Writer writer;
        std::vector<std::uint32_t> words;
        for (unsigned k = random() % 12; k > 0; --k)
            words.push_back(random() & 0xFFFFFF);
        writer.Frame({1 + unsigned(random() % 20), 300, unsigned(random() % 6000), index % 8, 0}, words);
        writer.Pad();
        return writer.bytes;
    }
    case kRtcm3:
        return withoutAtsStart(
            [&] { return rtcm3_reference::Frame(1001 + random() % 200, random() % 300, 0, random()); });
    case kNmea:
        // The sentence ends with its CR; the LF after it is not its own.
        unused = 1;
        return SentenceBytes("GPZDA,120000.00,07,12,2026,00,00");
    default: {
        CATSInputHandler::FakeATSFrame frame;
        CATSInputHandler::PackFakeATS(frame, random() % 10000000, random() % 10000000, random() % 10000000);
        return Bytes(frame.begin(), frame.end());
    }
    }
}

// The decoders of one port, each on a pipe of its own so that its lost
// reports can be told apart, all fed the same chunks with the same stamps.
struct DecodingPort {
    DecodingPort()
    {
        ats.SetEnabled(true);
        parser.Subscribe(&pipes[kPackets]);
        rtcm2.Subscribe(&pipes[kRtcm2]);
        rtcm3.Subscribe(&pipes[kRtcm3]);
        nmea.Subscribe(&pipes[kNmea]);
        ats.Subscribe(&pipes[kAts]);
        cmr.Subscribe(&parser);
        listers[kPackets].AttachPackets(parser, parser, cmr, chunk);
        listers[kRtcm2].Attach<IIncommingRTCMPipe>(rtcm2, rtcm2, chunk);
        listers[kRtcm3].Attach<IIncommingRTCM3Pipe>(rtcm3, rtcm3, chunk);
        listers[kNmea].Attach<IIncommingNMEAPipe>(nmea, nmea, chunk);
        listers[kAts].Attach<IIncommingATSPipe>(ats, ats, chunk);
    }
    void Feed(const std::vector<std::uint8_t>& stream, std::size_t chunkSize)
    {
        for (std::size_t offset = 0; offset < stream.size(); offset += chunkSize, ++chunk)
            for (FakeBytePipe& pipe : pipes)
                pipe.Feed(stream.data() + offset, std::min(chunkSize, stream.size() - offset));
    }

    std::uint64_t chunk = 0;
    FakeBytePipe pipes[kDecoders];
    CLogNode log;
    CDataCollectorParser parser{log};
    CDCCMRHandler cmr;
    CRTCMInputHandler rtcm2;
    CRTCM3InputHandler rtcm3;
    CNMEAInputHandler nmea;
    CATSInputHandler ats;
    CFrameLister listers[kDecoders];
};

}  // namespace TolvarRT::testing
