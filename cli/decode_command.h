// Offline decoding: capture files read as the Listener's decoders read a
// port, with the frames per type, the data-collector packets per packet type
// and the bytes no decoder claimed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/decode_session.h"
#include "stats/frame_lister.h"

namespace cli {

// Where a stream's chunks begin and end, [start, end) byte offsets.
using ChunkCuts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Decodes the bytes of one or more captures held whole, one stream after the
// other, with the listing. recordedChunks gives, per stream, the chunks a
// recording received them in; a stream without them (a plain capture) is cut
// in chunks of chunkSize.
sDecodeResult DecodeStreams(const std::vector<std::vector<std::uint8_t>>& streams, const sDecodeOptions& options,
                            const std::vector<ChunkCuts>& recordedChunks = {});

std::string DecodeText(const sDecodeResult& result);
// One JSON object a line for each entry of the listing:
//   {"offset":O,"length":L,"class":C,"type":T,"name":N,"chunk":K}
// followed, for RTCM v3, RTCM v2 and CMR frames, by the fields the frame
// carries about itself (station_id, tow/tod/dow/zcount/epoch_ms, gnss, sync
// or multiple, satellites, signals, cells, x, y, z, h, desc, setup_id,
// serial, receiver, firmware, receiver_serial), each only where it has it.
// The decoders claim bytes independently, so a run is "lost" (class and type
// null) only where no decoder put its bytes in a frame. A frame's chunk is the
// one whose delivery published it; a lost run's is the one by which every
// decoder had reported all of it lost, null when some decoder never did (it
// held them for a frame still arriving at the end, or used them without
// publishing, as a sentence with a bad checksum). Chunks count from 0 over
// all the streams.
std::string FrameLines(const sDecodeResult& result);
// The line of one entry, with its line end.
std::string FrameLine(const TolvarRT::sListedFrame& entry);
nlohmann::json DecodeJson(const sDecodeResult& result);

}  // namespace cli
